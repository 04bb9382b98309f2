#!/usr/bin/env bash
# Tries tools/verify-download on the downloads of a release folder, made on
# this machine, as their users and their attackers would: the arm64, Windows
# and WebAssembly packages must verify identical, and each crafted download
# below must be refused, run nothing that it names, and leave nothing behind.
#
#   tests/verify-download.sh RELEASE-FOLDER
set -euo pipefail
release=$(realpath "$1")
cd "$(dirname "$0")/.."
verify=$PWD/tools/verify-download
work=$(mktemp -d)
trap 'wait; rm -rf "$work"' EXIT
installed=$(dpkg -l)

# Runs the verifier on a download folder with its own temporary folder, and
# says whether it exited as expected, said what the pattern matches, and
# left nothing in that temporary folder and no process that names the case.
try() { # case, expected status, pattern, then the verifier's arguments
  local name=$1 status=$2 pattern=$3 said got=0
  shift 3
  mkdir -p "$work/tmp-$name"
  said=$(TMPDIR=$work/tmp-$name timeout 900 "$verify" "$@" 2>&1) || got=$?
  if [ "$got" != "$status" ] || ! grep -q -- "$pattern" <<<"$said" ||
    [ -n "$(ls -A "$work/tmp-$name")" ] || [ -e "$work/ran" ] || pgrep -f "$name-marker" >/dev/null; then
    printf 'FAILED %s: exit status %s, expected %s, said at the end:\n%s\n' "$name" "$got" "$status" \
      "$(tail -n 20 <<<"$said")"
    echo "$name" >>"$work/failed"
  else
    echo "passed $name"
  fi
}
# Copies the download of a package, named for what follows its version,
# into a folder of its own: the package, the source package, their
# checksums and the package's record.
download() { # folder, end of the package's name
  local found=("$release"/trapezoid-*-"$2") package version
  package=${found[0]} version=${found[0]##*/trapezoid-}
  version=${version%-"$2"}
  mkdir "$work/$1"
  cp "$package" "$package.sha256" "$package.buildinfo" "$release/trapezoid-$version.tar.gz" \
    "$release/trapezoid-$version.tar.gz.sha256" "$work/$1/"
  echo "$work/$1/${package##*/}"
}

# What users download: identical to its rebuild, whatever their
# SOURCE_DATE_EPOCH.
try arm64 0 "is identical" "$(download arm64 linux-arm64.tar.gz)" &
SOURCE_DATE_EPOCH=1 try windows 0 "is identical" "$(download windows windows-x86_64.zip)" &
wait
try wasi 0 "is identical" "$(download wasi wasi-wasm32.zip)" &

# A package with one byte changed, its checksums made to match.
zip=$(download tampered windows-x86_64.zip)
printf '\377' | dd of="$zip" bs=1 seek=1000 conv=notrunc status=none
sum=$(sha256sum <"$zip" | cut -d' ' -f1)
echo "$sum  ${zip##*/}" >"$zip.sha256"
sed -i "s/^ [0-9a-f]\{64\} / $sum /" "$zip.buildinfo"
try tampered 1 "differs from its rebuild" "$zip"

# Record fields that would be options, hooks or shell words, and checksum
# files that vouch for another file or for no regular file.
package=$(download fields linux-arm64.tar.gz)
edit() { # case, then a sed script for the record
  local copy=$work/$1
  cp -r "$work/fields" "$copy"
  sed -i "$2" "$copy/${package##*/}.buildinfo"
  try "$1" 1 "${3:-is not valid}" "$copy/${package##*/}"
}
edit release-option 's/^Build-Release: .*/Build-Release: Debian GNU\/Linux 12 (--version)/'
edit release-hook "s|^Build-Release: .*|Build-Release: Debian GNU/Linux 12 (--setup-hook=touch $work/ran; echo)|"
edit release-quote "s|^Build-Release: .*|Build-Release: Debian GNU/Linux 12 (bookworm' ; touch $work/ran ; echo ')|"
edit pin-option 's/^ base-files (= / --reinstall (= /' "to build with"
edit missing-version 's/^ base-files (= [^)]*)/ base-files (= 0.0-0)/' \
  "the archive lacks 'base-files=0.0-0'.*[0-9]\{4\}-[0-9][0-9]-[0-9][0-9] UTC.*-updates main'.*-security main'"
source=${package##*/trapezoid-}
source=$work/fields/trapezoid-${source%-linux-arm64.tar.gz}.tar.gz
cp -r "$work/fields" "$work/other-file"
echo x >>"$work/other-file/${source##*/}"
grep "${package##*/}\$" "$work/fields/${package##*/}.buildinfo" | sed 's/^ \([0-9a-f]*\) [0-9]* /\1  /' \
  >"$work/other-file/${source##*/}.sha256"
try other-file 1 "is not one checksum line" "$work/other-file/${package##*/}"
cp -r "$work/fields" "$work/dev-zero"
echo "$(cut -d' ' -f1 "$source.sha256")  /dev/zero" >"$work/dev-zero/${source##*/}.sha256"
try dev-zero 1 "is not one checksum line" "$work/dev-zero/${package##*/}"
cp -r "$work/fields" "$work/fifo"
rm "$work/fifo/${package##*/}.sha256" && mkfifo "$work/fifo/${package##*/}.sha256"
try fifo 1 "is not a regular file" "$work/fifo/${package##*/}"
cp -r "$work/fields" "$work/no-source"
rm "$work/no-source/${source##*/}"
try no-source 1 "is missing" "$work/no-source/${package##*/}"
try keep-alone 1 "needs a value: usage" --keep
try odd-name 1 "is not the name of a trapezoid package" "$work/fields/--keep"

# A source package whose build reaches for the network and leaves a process
# behind: it has no network, and nothing that it starts outlives it.
mkdir "$work/hostile"
tar -xzf "$source" -C "$work/hostile"
cat >"$work"/hostile/trapezoid-*/CMakeLists.txt <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(trapezoid NONE)
execute_process(COMMAND sh -c "setsid sh -c 'sleep 3141; : isolated-marker' </dev/null >/dev/null 2>&1 &
  if apt-get download base-files >/dev/null 2>&1; then echo NETWORK-REACHED; else echo NETWORK-UNREACHED; fi")
message(FATAL_ERROR "a hostile build")
EOF
cp -r "$work/fields" "$work/isolated"
(cd "$work/hostile" && tar -czf "$work/isolated/${source##*/}" trapezoid-*)
(cd "$work/isolated" && sha256sum "${source##*/}" >"${source##*/}.sha256")
try isolated 1 "NETWORK-UNREACHED" "$work/isolated/${package##*/}"

# Stopped with a plain kill once its root is being made, it stops what it
# started and removes what it made, the kept root included.
wait
mkdir "$work/tmp-killed"
TMPDIR=$work/tmp-killed "$verify" --keep "$work/kept" "$package" >/dev/null 2>&1 &
until pgrep -f "$work/tmp-killed/.*mmdebstrap" >/dev/null; do sleep 1; done
sleep 5
kill "$!"
wait "$!" || true
if pgrep -f "$work/tmp-killed/" >/dev/null || [ -e "$work/kept" ] || [ -n "$(ls -A "$work/tmp-killed")" ]; then
  echo "FAILED killed: mmdebstrap runs on, or the kept root or temporary files are left"
  echo killed >>"$work/failed"
else
  echo "passed killed"
fi

[ "$(dpkg -l)" = "$installed" ] || echo "FAILED: this machine's packages changed" | tee -a "$work/failed"
[ ! -s "$work/failed" ]
