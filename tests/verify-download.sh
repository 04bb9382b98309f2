#!/usr/bin/env bash
# tests/verify-download.sh RELEASE [USER]: tries the verifier under test, in
# a scratch clone of this checkout, on a release made here and on downloads
# of hostile commits of the clone's own, as root and as USER, with
# subordinate IDs, and fails unless nothing of this machine changes.
set -euo pipefail
if ischroot; then echo "Skipped: in a chroot, no user namespace, and so no sandbox, can be made" && exit 0; fi
release=$(realpath "$1") user=${2-}
cd "$(dirname "$0")/.."
work=$(mktemp -d) && chmod 755 "$work" && clone=$work/clone
git clone -q . "$clone" && cp tools/verify-download tools/sandbox "$clone/tools/"
setsid -f bash -c 'exec -a hostile-proc-marker sleep 3000'
trap 'pkill -xf "hostile-proc-marker 3000"; wait; umount "$work/noexec" 2>/dev/null || true; rm -rf "$work"' EXIT
installed=$(dpkg -l) shm=$(ls /dev/shm) ipc=$(ipcs -m)
failed() { echo "FAILED $*" | tee -a "$work/failed"; }

# Runs the verifier (as USER for user-...), with a TMPDIR whose name has a space (or
# tmp=FOLDER) and a folder's descriptor open, stopped with SIGNAL 5 s into STAGE given
# stop=SIGNAL:STAGE; it must end (within 2 s of a stop) and say as expected, with no
# escape byte, and leave nothing.
try() { # case, expected status, pattern, then the verifier's arguments
  local name=$1 status=$2 pattern=$3 said got=0 as=() pid stopped
  local tmp=${tmp-$work/tmp $name}
  shift 3
  mkdir -p -- "$work/tmp $name" "$work/in $name" && cd "$work/in $name" && mkdir -p -- "$tmp"
  if [[ $name == user-* ]]; then as=(runuser -u "$user" --) && chown "$user" "$work/tmp $name" "$work/in $name"; fi
  (TMPDIR=$tmp exec timeout 900 "${as[@]}" "$clone/tools/verify-download" "$@" >"$work/said $name" 2>&1 3<"$work") &
  pid=$!
  while [ -n "${stop-}" ] && ! grep -q "verify-download: ${stop#*:} " "$work/said $name" && kill -0 "$pid"; do sleep 1; done
  [ -z "${stop-}" ] || { sleep 5 && kill "-${stop%:*}" "$pid" && stopped=$SECONDS; }
  wait "$pid" || got=$?
  said=$(cat "$work/said $name")
  if [ "$got" != "$status" ] || ! grep -q -- "$pattern" <<<"$said" || grep -q $'\e' <<<"$said" ||
    [ -n "$(ls -A -- "$tmp")" ] || ((SECONDS - ${stopped-$SECONDS} > 2)) || grep -qF "$work/tmp" /proc/self/mountinfo ||
    [ -e "$work/ran" ] || pgrep -f ': [a-z-]*-marker$' >/dev/null; then
    failed "$name: exit status $got, expected $status, said at the end:"$'\n'"$(tail -n 20 <<<"$said" | cat -v)"
  else
    echo "passed $name"
  fi
  cd "$OLDPWD"
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
# Crafted copies of an honest download, each made by a command in its folder: a
# package with escapes, its checksums to match, a coherent forgery, then what must be refused.
package=$(download honest linux-arm64.tar.gz)
record=${package##*/}.buildinfo source=${package##*/trapezoid-} pkg=${package##*/}
source=trapezoid-${source%-linux-arm64.tar.gz}.tar.gz top=${source%.tar.gz}
printf ' p%s (= 1),\n' {1..501} >"$work/pins"
# shellcheck disable=SC2016 # expanded in each case
unpack='mkdir f && tar -xzf' repack='tar -czf $file -C f $top && sha256sum $file >$file.sha256'
while IFS=@ read -r name command pattern; do
  cp -r "$work/honest" "$work/$name"
  (cd "$work/$name" && eval "$command")
  try "$name" 1 "$pattern" "$work/$name/$pkg"
done <<EOF
tampered@file=$pkg && $unpack $pkg -C f && printf '\33[2J\33[H%s is identical\n' $pkg >>f/$top-linux-arm64/share/doc/trapezoid/README.md && top=$top-linux-arm64 && $repack && sed -i "s/^ [0-9a-f]\{64\} [0-9]* / \$(cut -d' ' -f1 \$file.sha256) \$(stat -c %s \$file) /" $record@differs from what commit
forged@file=$source && $unpack $source -C f && echo '// forged' >>f/$top/src/trapezoid.cpp && $repack@not this clone's source at [0-9a-f]*: it differs in $top/src/trapezoid.cpp (at most
escape-name@file=$source && $unpack $source -C f && touch f/$top/$(printf '\33')[2J && $repack@differs in $top/^\[\[2J
lacks-commit@sed -i 's/^Commit: .*/Commit: 0000000000000000000000000000000000000000/' $record@this clone lacks commit 0\{40\}.*fetch origin
release-hostile@sed -i "s|^Build-Release: .*|Build-Release: Debian GNU/Linux 12 (--setup-hook=touch $work/ran' ; touch $work/ran ; echo ')|" $record@is not valid
field-nul@sed -i 's/^Source: trapezoid$/&\x00/' $record@holds a NUL byte
pin-option@sed -i 's/^ base-files (= / --reinstall (= /' $record@to build with
pin-pattern@sed -i 's/^ coreutils (= / core.+ (= /' $record@the archive lacks 'core.+=
pins-many@sed -i '/^Installed-Build-Depends:/r $work/pins' $record@more than 500
missing-version@sed -i 's/^ base-files (= [^)]*)/ base-files (= 0.0-0)/' $record@the archive lacks 'base-files=0.0-0'.*[0-9]\{4\}-[0-9][0-9]-[0-9][0-9] UTC.*-updates main'.*-security main'
other-file@echo x >>$source && sed -n 's/^ \([0-9a-f]*\) [0-9]* \(.*\)/\1  \2/p' $record >$source.sha256@is not one checksum line
dev-zero@echo "\$(cut -d' ' -f1 $source.sha256)  /dev/zero" >$source.sha256@is not one checksum line
fifo@rm $pkg.sha256 && mkfifo $pkg.sha256@is not a regular file
sum-nul@printf '\0' >>$source.sha256@holds a NUL byte
no-source@rm $source@is missing
EOF
try keep-alone 1 "needs a value: usage" --keep
try odd-name 1 "is not the name of a trapezoid package" "$work/honest/--keep"
try newline 1 "holds a newline" "$package"$'\n'
# TMPDIR relative, beginning with a dash, closed to others, or where nothing may run.
mkdir -m 700 "$work/closed" && mkdir "$work/noexec" && mount -t tmpfs -o noexec tmpfs "$work/noexec"
tmp=rel try tmp-rel 1 "holds a NUL byte" "$work/sum-nul/$pkg"
tmp=-dash try tmp-dash 1 "holds a NUL byte" "$work/sum-nul/$pkg"
tmp=$work/closed/tmp try tmp-closed 1 "does not let the build's user through" "$package"
tmp=$work/noexec try tmp-noexec 1 "mounted noexec" "$package" && umount "$work/noexec"

# Downloads of commits of the clone, their packages honest ones renamed: one whose build
# tries every way out and limit and sends more than the package, and one that never ends.
forge() { # folder, then the commit's change, as a command run in the clone
  local folder=$work/$1 commit version name honest=${wasi##*/} && shift
  (cd "$clone" && eval "$*" && git -c user.name=t -c user.email=t@t commit -qam "$folder")
  commit=$(git -C "$clone" rev-parse HEAD) version=${honest#trapezoid-} && version=${version%%[+-]*}+g${commit::12}
  name=trapezoid-$version-wasi-wasm32.zip && mkdir "$folder" && cp "$wasi" "$folder/$name"
  printf 'Version: %s\nCommit: %s\nSource-Date-Epoch: 0\n' "$version" "$commit" >"$folder/RELEASE"
  git -C "$clone" archive --prefix="trapezoid-$version/" --add-file="$folder/RELEASE" HEAD | gzip >"$folder/trapezoid-$version.tar.gz"
  sed -e "s/^Package: .*/Package: $name/; s/^Version: .*/Version: $version/; s/^Commit: .*/Commit: $commit/" \
    -e "s/^Source-Date-Epoch: .*/Source-Date-Epoch: 0/; s/ [^ ]*-wasi-wasm32.zip$/ $name/" "$wasi.buildinfo" >"$folder/$name.buildinfo"
  (cd "$folder" && sha256sum "$name" >"$name.sha256" && sha256sum "trapezoid-$version.tar.gz" >"trapezoid-$version.tar.gz.sha256")
  echo "$folder/$name"
}
sed "s|WORK|$work|g" >"$work/hostile.sh" <<'EOF'
#!/bin/sh
escaped() { echo "ESCAPED: $*" >&2; }
for fd in $(seq 3 255); do (: >&"$fd") 2>/dev/null && escaped "descriptor $fd is open"; done
grep -qs 'hostile-proc-marke[r]' /proc/[0-9]*/cmdline && escaped "sees the host's processes"
for root in /proc/[0-9]*/root; do touch "${root}WORK/ran" 2>/dev/null && escaped "wrote in $root"; done
touch WORK/ran 2>/dev/null && escaped "wrote WORK/ran"
apt-get download base-files >/dev/null 2>&1 && escaped "reached the network"
echo hostile >/dev/shm/trapezoid-hostile; ipcmk -M 31415 >/dev/null
setsid sh -c 'sleep 3141; : hostile-marker' </dev/null >/dev/null 2>&1 &
perl -e 'for (250, 425) { syscall($_, 0, -3, 0) == -1 && $! == 1 or print STDERR "ESCAPED: system call $_ is open\n" }'
perl -e 'while ($n < 2000 and defined($p = fork)) { if (!$p) { sleep 30; exit } push @k, $p; $n++ } kill 9, @k;
  waitpid($_, 0) for @k; $n < 2000 or warn "ESCAPED: made $n processes\n"'
perl -e '$x = "x" x (6 * 2**30); warn "ESCAPED: held 6 GiB\n"' 2>/dev/null
for fs in /tmp /build /dev/shm; do
  head -c 2147483648 /dev/zero >"$fs/fill" 2>/dev/null; [ "$(stat -c %s "$fs/fill")" -lt 2147483648 ] || escaped "filled $fs"; rm "$fs/fill"
done
echo HOSTILE-TRIED >&2 && head -c 1073741824 /dev/zero | tr '\0' x >&2
head -c 536870912 /dev/zero >"$1/$(sed -n 's/^package //p' "$1/facts-Release.txt").zip"
EOF
hostile=$(forge hostile cp "$work/hostile.sh" tools/package)
for name in hostile ${user:+user-hostile}; do
  try "$name" 1 "wrote more than the [0-9]* bytes" --keep kept "$hostile"
  if ! grep -q HOSTILE-TRIED "$work/in $name/kept/build.log" || grep ESCAPED "$work/in $name/kept/build.log" ||
    (($(stat -c %s "$work/in $name/kept/build.log") > 1048676)); then failed "$name: got out"; fi
done
hang=$(forge hang "printf '#!/bin/sh\nexec sh -c \"sleep 100000; : hang-marker\"\n' >tools/package")
try hang 1 "did not end within 20 seconds" --timeout 20 "$hang"

# A stop leaves nothing, and 130, promptly: while a source package that unpacks to 4 GiB
# is read, while the root is made and while it builds.
(cd "$work/honest" && truncate -s 4G "$work/big" && cp -r "$work/honest" "$work/bomb" &&
  { { tar -cf - -C "$work" big || true; } | head -c 1048576 | gzip && head -c 67108864 /dev/zero | gzip >"$work/zeros"; } >"$work/bomb/$source" &&
  for _ in {1..64}; do cat "$work/zeros"; done >>"$work/bomb/$source" && cd "$work/bomb" && sha256sum "$source" >"$source.sha256")
stop=INT:checking try stopped-checking 130 "" "$work/bomb/$pkg"
stop=HUP:making try stopped-making 130 "" "$hang"
stop=TERM:building try stopped-building 130 "" "$hang"

[ "$(dpkg -l)" = "$installed" ] || failed "this machine's packages changed"
[ "$(ls /dev/shm)" = "$shm" ] || failed "a file outlived its build in /dev/shm"
[ "$(ipcs -m)" = "$ipc" ] || failed "shared memory outlived its build"
[ ! -s "$work/failed" ]
