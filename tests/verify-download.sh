#!/usr/bin/env bash
# tests/verify-download.sh RELEASE [USER]: tries the verifier on a release
# made here, as root and as USER, with subordinate IDs, as users and
# attackers would, and fails unless nothing of this machine changes.
set -euo pipefail
if ischroot; then echo "Skipped: in a chroot, no user namespace, and so no sandbox, can be made" && exit 0; fi
release=$(realpath "$1") user=${2-}
cd "$(dirname "$0")/.."
work=$(mktemp -d) && chmod 755 "$work"
cp tools/verify-download "$work/"
setsid -f bash -c 'exec -a hostile-proc-marker sleep 3000'
trap 'pkill -xf "hostile-proc-marker 3000"; wait; rm -rf "$work"' EXIT
installed=$(dpkg -l) shm=$(ls /dev/shm) ipc=$(ipcs -m)
failed() { echo "FAILED $*" | tee -a "$work/failed"; }

# Runs the verifier (as USER for user-...), with a TMPDIR whose name has a space
# and a folder's descriptor open, stopped with SIGNAL 5 s into STAGE given
# stop=SIGNAL:STAGE; it must end and say as expected, and leave nothing.
try() { # case, expected status, pattern, then the verifier's arguments
  local name=$1 status=$2 pattern=$3 said got=0 as=() pid
  shift 3
  mkdir "$work/tmp $name" "$work/in $name"
  if [[ $name == user-* ]]; then as=(runuser -u "$user" --) && chown "$user" "$work/tmp $name" "$work/in $name"; fi
  (cd "$work/in $name" && TMPDIR="$work/tmp $name" exec timeout 900 "${as[@]}" "$work/verify-download" "$@" \
    >"$work/said $name" 2>&1 3<"$work") & pid=$!
  while [ -n "${stop-}" ] && ! grep -q "verify-download: ${stop#*:} " "$work/said $name" && kill -0 "$pid"; do sleep 1; done
  [ -z "${stop-}" ] || { sleep 5 && kill "-${stop%:*}" "$pid"; }
  wait "$pid" || got=$?
  said=$(cat "$work/said $name")
  if [ "$got" != "$status" ] || ! grep -q -- "$pattern" <<<"$said" || [ -n "$(ls -A "$work/tmp $name")" ] ||
    grep -qF "$work/tmp" /proc/self/mountinfo || [ -e "$work/ran" ] || pgrep -f ': [a-z-]*-marker$' >/dev/null; then
    failed "$name: exit status $got, expected $status, said at the end:"$'\n'"$(tail -n 20 <<<"$said")"
  else
    echo "passed $name"
  fi
}
# Copies a package's download, named by its name's end, to a folder.
download() { # folder, end of the package's name
  local found=("$release"/trapezoid-*-"$2")
  mkdir "$work/$1" && cp "${found[0]}"{,.sha256,.buildinfo} "${found[0]%-"$2"}.tar.gz"{,.sha256} "$work/$1/"
  echo "$work/$1/${found[0]##*/}"
}

# Honest downloads, whatever SOURCE_DATE_EPOCH (wasi made with wasm-opt on PATH).
wasi=$(download wasi wasi-wasm32.zip)
try "${user:+user-}wasi" 0 "is identical" "$wasi" &
try arm64 0 "is identical" "$(download arm64 linux-arm64.tar.gz)" &
SOURCE_DATE_EPOCH=1 try windows 0 "is identical" "$(download windows windows-x86_64.zip)"
wait
# Crafted copies of an honest download, each made by a command in its folder:
# one byte changed, with checksums to match, then what must be refused.
package=$(download honest linux-arm64.tar.gz)
record=${package##*/}.buildinfo source=${package##*/trapezoid-} pkg=${package##*/}
source=trapezoid-${source%-linux-arm64.tar.gz}.tar.gz
printf ' p%s (= 1),\n' {1..501} >"$work/pins"
while IFS=@ read -r name command pattern; do
  cp -r "$work/honest" "$work/$name"
  (cd "$work/$name" && eval "$command")
  try "$name" 1 "$pattern" "$work/$name/${package##*/}"
done <<EOF
tampered@printf '\377' | dd of=$pkg bs=1 seek=1000 conv=notrunc status=none && sum=\$(sha256sum <$pkg | cut -d' ' -f1) && echo "\$sum  $pkg" >$pkg.sha256 && sed -i "s/^ [0-9a-f]\{64\} / \$sum /" $record@differs from its rebuild
release-hostile@sed -i "s|^Build-Release: .*|Build-Release: Debian GNU/Linux 12 (--setup-hook=touch $work/ran' ; touch $work/ran ; echo ')|" $record@is not valid
field-nul@sed -i 's/^Source: trapezoid$/&\x00/' $record@holds a NUL byte
pin-option@sed -i 's/^ base-files (= / --reinstall (= /' $record@to build with
pin-pattern@sed -i 's/^ coreutils (= / core.+ (= /' $record@the archive lacks 'core.+=
pins-many@sed -i '/^Installed-Build-Depends:/r $work/pins' $record@more than 500
missing-version@sed -i 's/^ base-files (= [^)]*)/ base-files (= 0.0-0)/' $record@the archive lacks 'base-files=0.0-0'.*[0-9]\{4\}-[0-9][0-9]-[0-9][0-9] UTC.*-updates main'.*-security main'
other-file@echo x >>$source && sed -n 's/^ \([0-9a-f]*\) [0-9]* \(.*\)/\1  \2/p' $record >$source.sha256@is not one checksum line
dev-zero@echo "\$(cut -d' ' -f1 $source.sha256)  /dev/zero" >$source.sha256@is not one checksum line
fifo@rm ${package##*/}.sha256 && mkfifo ${package##*/}.sha256@is not a regular file
sum-nul@printf '\0' >>$source.sha256@holds a NUL byte
no-source@rm $source@is missing
EOF
try keep-alone 1 "needs a value: usage" --keep
try odd-name 1 "is not the name of a trapezoid package" "$work/honest/--keep"
try newline 1 "holds a newline" "$package"$'\n'

# Source packages whose checksums hold: one whose build tries every way out,
# then builds as it should, and one whose build never ends.
hostile() { # folder, then (on standard input) what its CMakeLists.txt runs first
  local top=${wasi##*/} && top=${top%-wasi-wasm32.zip}
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
wait
for name in hostile ${user:+user-hostile}; do
  try "$name" 0 "is identical" --keep kept "$work/hostile/${wasi##*/}"
  if ! grep -q HOSTILE-TRIED "$work/in $name/kept/build.log" || grep ESCAPED "$work/in $name/kept/build.log"; then failed "$name: got out"; fi
done
hang=$(hostile hang <<<'execute_process(COMMAND sh -c "sleep 100000; : hang-marker")')
try hang 1 "did not end within 20 seconds" --timeout 20 "$hang"

# A stop while the root is made and while it builds leaves nothing: 130.
stop=HUP:making try stopped-making 130 "" "$hang"
stop=TERM:building try stopped-building 130 "" "$hang"

[ "$(dpkg -l)" = "$installed" ] || failed "this machine's packages changed"
[ "$(ls /dev/shm)" = "$shm" ] || failed "a file outlived its build in /dev/shm"
[ "$(ipcs -m)" = "$ipc" ] || failed "shared memory outlived its build"
[ ! -s "$work/failed" ]
