#!/usr/bin/env bash
# Tries tools/verify-download on the downloads of a release folder, made on
# this machine, as their users and their attackers would. Honest packages
# verify identical, as root and, given a user with subordinate IDs, as that
# user; each crafted download is refused, runs nothing that it names and
# leaves nothing behind; a hostile source package neither changes nor sees
# anything of this machine; a build that never ends is stopped at its time
# limit; and a stop leaves no process, mount or folder.
#
#   tests/verify-download.sh RELEASE-FOLDER [USER]
set -euo pipefail
if ischroot; then
  echo "Skipped: this is a chroot, where no user namespace, and so no sandbox, can be made"
  exit 0
fi
release=$(realpath "$1") user=${2-}
cd "$(dirname "$0")/.."
work=$(mktemp -d)
chmod 755 "$work"
cp tools/verify-download "$work/"
setsid -f bash -c 'exec -a hostile-proc-marker sleep 3000'
trap 'pkill -xf "hostile-proc-marker 3000"; wait; rm -rf "$work"' EXIT
installed=$(dpkg -l) shm=$(ls /dev/shm) ipc=$(ipcs -m)

# Runs the verifier, as USER for a case named user-..., in a folder of its
# own, with a temporary folder whose name has a space and a descriptor of a
# folder open, and says whether it exited as expected, said what the pattern
# matches, and left nothing behind: nothing in that folder, no mount, no
# marker file and no process of a marker.
try() { # case, expected status, pattern, then the verifier's arguments
  local name=$1 status=$2 pattern=$3 said got=0 as=()
  shift 3
  mkdir "$work/tmp $name" "$work/in $name"
  if [[ $name == user-* ]]; then as=(runuser -u "$user" --) && chown "$user" "$work/tmp $name" "$work/in $name"; fi
  said=$(cd "$work/in $name" && TMPDIR="$work/tmp $name" timeout 900 "${as[@]}" "$work/verify-download" "$@" \
    2>&1 3<"$work") || got=$?
  if [ "$got" != "$status" ] || ! grep -q -- "$pattern" <<<"$said" || [ -n "$(ls -A "$work/tmp $name")" ] ||
    grep -qF "$work/tmp" /proc/self/mountinfo || [ -e "$work/ran" ] || pgrep -f ': [a-z-]*-marker$' >/dev/null; then
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
# SOURCE_DATE_EPOCH; the WebAssembly package was made where Binaryen's
# wasm-opt is on the PATH, and the root has none.
wasi=$(download wasi wasi-wasm32.zip)
try "${user:+user-}wasi" 0 "is identical" "$wasi" &
try arm64 0 "is identical" "$(download arm64 linux-arm64.tar.gz)" &
SOURCE_DATE_EPOCH=1 try windows 0 "is identical" "$(download windows windows-x86_64.zip)"
wait

# A package with one byte changed, its checksums made to match.
zip=$(download tampered windows-x86_64.zip)
printf '\377' | dd of="$zip" bs=1 seek=1000 conv=notrunc status=none
sum=$(sha256sum <"$zip" | cut -d' ' -f1)
echo "$sum  ${zip##*/}" >"$zip.sha256"
sed -i "s/^ [0-9a-f]\{64\} / $sum /" "$zip.buildinfo"
try tampered 1 "differs from its rebuild" "$zip" &

# Records whose fields would be options, hooks, shell words or patterns,
# that hide a NUL byte, or that name too many packages.
package=$(download fields linux-arm64.tar.gz)
printf ' p%s (= 1),\n' {1..501} >"$work/pins"
while IFS=@ read -r name script pattern; do
  cp -r "$work/fields" "$work/$name"
  sed -i "$script" "$work/$name/${package##*/}.buildinfo"
  try "$name" 1 "$pattern" "$work/$name/${package##*/}"
done <<EOF
release-option@s/^Build-Release: .*/Build-Release: Debian GNU\/Linux 12 (--version)/@is not valid
release-hook@s|^Build-Release: .*|Build-Release: Debian GNU/Linux 12 (--setup-hook=touch $work/ran; echo)|@is not valid
release-quote@s|^Build-Release: .*|Build-Release: Debian GNU/Linux 12 (bookworm' ; touch $work/ran ; echo ')|@is not valid
field-nul@s/^Source: trapezoid$/&\x00/@holds a NUL byte
pin-option@s/^ base-files (= / --reinstall (= /@to build with
pin-pattern@s/^ coreutils (= / core.+ (= /@the archive lacks 'core.+=
pins-many@/^Installed-Build-Depends:/r $work/pins@more than 500
missing-version@s/^ base-files (= [^)]*)/ base-files (= 0.0-0)/@the archive lacks 'base-files=0.0-0'.*[0-9]\{4\}-[0-9][0-9]-[0-9][0-9] UTC.*-updates main'.*-security main'
EOF

# Checksum files that vouch for another file, for no regular file, or end
# in a NUL byte; a missing source package; odd arguments.
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
cp -r "$work/fields" "$work/sum-nul"
printf '\0' >>"$work/sum-nul/${source##*/}.sha256"
try sum-nul 1 "holds a NUL byte" "$work/sum-nul/${package##*/}"
cp -r "$work/fields" "$work/no-source"
rm "$work/no-source/${source##*/}"
try no-source 1 "is missing" "$work/no-source/${package##*/}"
try keep-alone 1 "needs a value: usage" --keep
try odd-name 1 "is not the name of a trapezoid package" "$work/fields/--keep"
try newline 1 "holds a newline" "$package"$'\n'

# Source packages whose checksums hold and whose build is hostile: one
# reaches for descriptors, the host's processes and files, the network,
# shared memory and IPC, and leaves a process, then builds as it should;
# one never ends.
hostile() { # folder, then (on standard input) what its CMakeLists.txt runs first
  local top=${wasi##*/trapezoid-}
  top=trapezoid-${top%-wasi-wasm32.zip}
  mkdir "$work/source-$1" && tar -xzf "$work/wasi/$top.tar.gz" -C "$work/source-$1"
  sed -i "1r /dev/stdin" "$work/source-$1/$top/CMakeLists.txt"
  cp -r "$work/wasi" "$work/$1"
  tar -czf "$work/$1/$top.tar.gz" -C "$work/source-$1" "$top"
  (cd "$work/$1" && sha256sum "$top.tar.gz" >"$top.tar.gz.sha256")
  echo "$work/$1/${wasi##*/}"
}
sed "s|WORK|$work|g" <<'EOF' | hostile hostile >/dev/null
execute_process(COMMAND sh -c [==[
escaped() { echo "ESCAPED: $*"; }
for fd in $(seq 3 255); do (: >&"$fd") 2>/dev/null && escaped "descriptor $fd is open"; done
grep -qs 'hostile-proc-marke[r]' /proc/[0-9]*/cmdline && escaped "sees the host's processes"
for root in /proc/[0-9]*/root; do touch "${root}WORK/ran" 2>/dev/null && escaped "wrote in $root"; done
touch WORK/ran 2>/dev/null && escaped "wrote WORK/ran"
apt-get download base-files >/dev/null 2>&1 && escaped "reached the network"
echo hostile >/dev/shm/trapezoid-hostile; ipcmk -M 31415 >/dev/null
setsid sh -c 'sleep 3141; : hostile-marker' </dev/null >/dev/null 2>&1 &
echo HOSTILE-TRIED]==])
EOF
for name in hostile ${user:+user-hostile}; do
  try "$name" 0 "is identical" --keep kept "$work/hostile/${wasi##*/}"
  if ! grep -q HOSTILE-TRIED "$work/in $name/kept/build.log" || grep ESCAPED "$work/in $name/kept/build.log"; then
    echo "FAILED $name: its build did not try, or got out" | tee -a "$work/failed"
  fi
done
hang=$(hostile hang <<<'execute_process(COMMAND sh -c "sleep 100000; : hang-marker")')
try hang 1 "did not end within 20 seconds" --timeout 20 "$hang"
wait

# Stopped while its root is made, and while it builds, it ends what it
# started and leaves nothing.
for stop in HUP:making TERM:building; do
  mkdir "$work/tmp-${stop#*:}"
  TMPDIR=$work/tmp-${stop#*:} "$work/verify-download" "$hang" 2>"$work/said-${stop#*:}" &
  until grep -q "verify-download: ${stop#*:} " "$work/said-${stop#*:}" || ! kill -0 "$!"; do sleep 1; done
  sleep 5
  kill "-${stop%:*}" "$!"
  got=0 && wait "$!" || got=$?
  if [ "$got" != 130 ] || pgrep -f "$work/tmp-|: hang-marker$" >/dev/null ||
    grep -qF "$work/tmp-" /proc/self/mountinfo || [ -n "$(ls -A "$work/tmp-${stop#*:}")" ]; then
    echo "FAILED stopped while ${stop#*:}: exit status $got, or a process, mount or file is left"
    echo "stopped" >>"$work/failed"
  else
    echo "passed stopped while ${stop#*:}"
  fi
done

[ "$(dpkg -l)" = "$installed" ] || echo "FAILED: this machine's packages changed" | tee -a "$work/failed"
if [ "$(ls /dev/shm)" != "$shm" ] || [ "$(ipcs -m)" != "$ipc" ]; then
  echo "FAILED: shared memory outlived its build" | tee -a "$work/failed"
fi
[ ! -s "$work/failed" ]
