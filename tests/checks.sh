#!/bin/sh
# sh tests/checks.sh FACTS CHECK [PROGRAM]: runs a check of a build, on its
# program or PROGRAM, and fails on any difference from what a user must see.
# shellcheck disable=SC2013,SC2046,SC2086 # a fact of several lines is several words
set -euf
facts=$1 check=$2 here=$(cd "$(dirname "$0")" && pwd)
fact() { sed -n "s/^$1 //p" "$facts"; }
nl='
'
IFS=$nl
built=$(fact program) emulator=$(fact emulator) source=$(fact source) build=$(fact build)
program=${3:-$built} work=$PWD/checks/$check${3:+-packaged} under=${3:+For the packaged program: }
rm -rf "$work" && mkdir -p "$work"
fail() { printf '%s\n' "$program$nl$*" >&2 && exit 1; }
skip() { echo "${under}Skipped: $*" && exit 0; } # a skip within the package check does not skip it
run() { $emulator "$program" "$@"; }
for need in $(fact need | awk -v check="$check" '$1 == check { print $2 " " $3 }'); do # program, package
  command -v "${need% *}" >/dev/null || skip "${need% *} was not found: install Debian's ${need#* } package"
done
install() { cmake --install "$build" --config "$(fact configuration)" --prefix "$1" --strip >/dev/null; }
files() { (cd "$1" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort); }
# The report as the program writes it: a Windows program ends lines with CR LF.
report=$here/report.txt
case $program in *.exe) awk 'NR > 1 { printf "\r\n" } { printf "%s", $0 }' "$report" >"$work/report" && report=$work/report ;; esac
# The exit status, the exact output, and nothing on standard error, or a line.
expect() { # status, file of the output, pattern or "", redirection, command...
  status=$1 output=$2 said=$3 redirect=$4 && shift 4
  got=0 && eval '"$@" >"$work/out" 2>"$work/err"' "$redirect" || got=$?
  { [ -z "$said" ] && [ ! -s "$work/err" ]; } || { [ -n "$said" ] && [ "$(wc -l <"$work/err")" = 1 ] &&
    [ -z "$(tail -c 1 "$work/err" | tr -d '\n')" ] && grep -Eq "$said" "$work/err"; } || got="$got, said"
  if [ "$got" != "$status" ] || ! cmp -s "$work/out" "$output"; then
    fail "$* $redirect: exit status $got, expected $status; wrote, and was to write:" \
      "$(od -An -c "$work/out")" "$(od -An -c "$output")" "standard error: $(cat "$work/err")"
  fi
}

case $check in
report) expect 0 "$report" '' '' run ;;
ignores-input)
  expect 0 "$report" '' '' run --help -n 128 "two words"
  expect 0 "$report" '' '</dev/zero' run
  expect 0 "$report" '' '<&-' run
  expect 0 "$report" '' '' env -i $(fact environment) $emulator "$program" ;; # what an emulator needs
locale)
  # A comma for a decimal point, in the byte order of the program's C library.
  localedef "--$(fact byte-order | tr 'A-Z_' 'a-z-')" -i de_DE -f UTF-8 "$work/de_DE.UTF-8" >/dev/null 2>&1 ||
    skip "localedef cannot build a de_DE locale: install Debian's locales package"
  printf 0,5 >"$work/half"
  expect 0 "$work/half" '' '' env LOCPATH="$work" LC_ALL=de_DE.UTF-8 $emulator "$(fact DECIMAL_POINT)"
  expect 0 "$report" '' '' env LOCPATH="$work" LC_ALL=de_DE.UTF-8 $emulator "$program" ;;
# A report that cannot be written is an error, said in one line.
write-failure) expect 1 /dev/null '^trapezoid: .' '>&-' run ;;
full-disk)
  [ -c /dev/full ] || skip "/dev/full, which plays a full disk, is missing (macOS and the BSDs have none)"
  expect 1 /dev/null '^trapezoid: .' '>/dev/full' run ;;
libraries)
  found=$("$(fact objdump)" -p "$program" | sed -nE 's/^[[:space:]]*(NEEDED|DLL Name:)[[:space:]]+//p' |
    grep -Ev "$(fact libraries)" || true)
  [ -z "$found" ] || fail "loads $found beside the C library" ;;
hardening)
  # In the headers, or in main's code in the linked program, whose symbols name its calls.
  objdump=$(fact objdump) readelf=$(fact readelf)
  headers=$(case $program in *.exe) "$objdump" -p "$program" ;; *) "$readelf" -hlndW "$program" ;; esac)
  code=$("$objdump" -d --disassemble=main "$built" 2>/dev/null || "$objdump" -d --disassemble-symbols=main "$built")
  # MIPS calls through unnamed slots of its GOT: name them for what they hold.
  case $code in *"(gp)"*)
    code=$({ "$(fact nm)" "$built" && echo -- && "$readelf" -A "$built" && echo -- && echo "$code"; } | awk '
      $0 == "--" { part++; next } part == 0 && NF == 3 { sub(/^0+/, "", $1); name[$1] = $3 }
      part == 1 && $2 ~ /\(gp\)$/ { sub(/^0+/, "", $3); slot[$2] = $3 }
      part == 2 && match($0, /-?[0-9]+\(gp\)/) { at = slot[substr($0, RSTART, RLENGTH)]; if (at in name) $0 = $0 " <" name[at] ">" }
      part == 2 { print }') ;;
  esac
  wrong=''
  for protection in $(fact hardening); do
    case $protection in
    relro) text=$headers pattern='GNU_RELRO' ;;
    bind_now) text=$headers pattern='no dynamic section|BIND_NOW' ;; # a static program binds at its link
    noexec_stack) text=$headers pattern='GNU_STACK.* RW ' ;;
    pie) text=$headers pattern='Type: +DYN' ;;
    canary) text=$code pattern='[<.]__stack_chk_fail' ;;
    endbr) text=$code pattern='endbr(32|64)' ;;
    pac) text=$code pattern='paciasp|hint[[:space:]]+#25' ;;
    fortify) text=$code pattern='[<.]_?__printf_chk[@+>]' ;; # ___printf_chk if static; POWER calls past the entry
    *) text=$headers pattern=$(echo "$protection" | tr '[:lower:]' '[:upper:]') ;; # a Windows program's flag
    esac
    printf '%s\n' "$text" | grep -Eq "$pattern" || wrong="$wrong$nl  has no $protection: nothing matches '$pattern'"
  done
  [ -z "$wrong" ] || fail "$wrong" ;;
package)
  # Installed, and packed as a release is, it holds its files and no others (a Linux program
  # that loads the C library makes no package); stripped, it passes every check.
  package=$work/$(fact package).$(fact archive) pack=$here/../tools/package$nl$build$nl$(fact configuration)
  install "$work/installed" && files "$work/installed" >"$work/held" && top=$work/installed
  fact file | sed 's|^\./||' | LC_ALL=C sort >"$work/files"
  cmp -s "$work/held" "$work/files" || fail "installs$nl$(cat "$work/held")${nl}not$nl$(cat "$work/files")"
  if $pack "$work" >"$work/said" 2>&1; then
    (cd "$work" && sha256sum -c --quiet "${package##*/}.sha256") || fail "${package##*/}.sha256 does not hold"
    grep -qx " $(sha256sum <"$package" | cut -d' ' -f1) $(wc -c <"$package") ${package##*/}" \
      "$package.buildinfo" || fail "$package.buildinfo does not give its SHA-256 and size"
    if grep -q ' (= ' "$package.buildinfo"; then
      sed -n 's/^ \([^ ]*\) (= .*/\1/p' "$package.buildinfo" | xargs dpkg-query -L >"$work/recorded" 2>/dev/null
      for file in $("$here/../tools/package" --inputs "$build" "$(fact configuration)"); do
        real=$(realpath "$file")
        grep -qxF -e "$file" -e "$real" -e "${real#/usr}" "$work/recorded" || fail "no package recorded holds $file"
      done
    fi
    # A failed gzip or zip, or a date that is no date, leaves nothing.
    mkdir "$work/broken" && ln -s /bin/false "$work/broken/gzip" && ln -s /bin/false "$work/broken/zip"
    for case in "PATH=$work/broken:$PATH" SOURCE_DATE_EPOCH=yesterday; do
      if env "$case" $pack "$work/failed" >"$work/said" 2>&1 || [ -n "$(ls -A "$work/failed" 2>/dev/null)" ] ||
        ! grep -Eq "g?zip failed with exit status 1|'yesterday', which is invalid" "$work/said"; then
        fail "with $case, tools/package said:$nl$(cat "$work/said")"
      fi
    done
    mkdir "$work/unpacked" && (cd "$work/unpacked" && cmake -E tar xf "$package") && top=$work/unpacked/$(fact package)
    files "$top" | cmp -s - "$work/files" || fail "$package does not hold what the program installs"
  elif grep -q 'a Linux package carries the C library' "$work/said"; then
    [ -z "$(find "$work" -name 'trapezoid-*')" ] || fail "tools/package left a package behind"
  else
    fail "tools/package said:$nl$(cat "$work/said")"
  fi
  packaged=$top/$(fact file | head -n 1 | sed 's|^\./||')
  case $packaged in
  *.wasm) ! "$(fact objdump)" -h "$packaged" | grep -Eq '^ +[0-9]+ (name|[.]debug)' ;;
  *) "$(fact nm)" "$packaged" 2>&1 | grep -q 'no symbols' ;;
  esac || fail "$packaged is not stripped"
  for check in $(fact check); do [ "$check" = package ] || sh "$0" "$facts" "$check" "$packaged"; done ;;
page)
  # Opened from disk with no network, it shows exactly what a module wrote and how it ended,
  # or that no WebAssembly could run it; its button copies exactly what was written.
  page=${program%.wasm}.html
  [ -f "$page" ] || { install "$work/installed" && page=$work/installed/trapezoid.html; }
  [ "$(wc -c <"$page")" -le 163840 ] || fail "$page is larger than 160 KB"
  grep -q "script-src 'sha256-[^']*' 'wasm-unsafe-eval'; style-src 'sha256-[^']*'; img-src data:; base-uri 'none'" "$page" ||
    fail "$page lacks its strict policy"
  shows() { # page, file of the output, status pattern, standard error, then Chromium's options
    page_shown=$1 output=$2 ending=$3 said=$4 && shift 4
    chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
      --disable-component-update --disable-sync "--host-resolver-rules=MAP * ~NOTFOUND" "--user-data-dir=$work/chromium" \
      --virtual-time-budget=10000 "$@" --dump-dom "file://$page_shown" 2>/dev/null | tr '\n' '\001' >"$work/dom"
    part() { sed "s|.*<$1 id=\"$2\"[^>]*>||; s|</$1>.*||; s/<[^>]*>//g; s/&lt;/</g; s/&gt;/>/g; s/&amp;/\&/g" "$work/dom" | tr '\001' '\n'; }
    part pre stdout >"$work/shown" && part pre stderr >"$work/said"
    if ! cmp -s "$work/shown" "$output" || ! part p status | grep -Eq "$ending" || ! printf %s "$said" | cmp -s - "$work/said"; then
      fail "$page_shown shows$nl$(cat "$work/shown")$nl$(part p status)$nl$(cat "$work/said")"
    fi
  }
  holding() { # a module's program: writes the page with that module in it, and names it
    base64 -w 0 "$(fact "$1")" >"$work/$1.b64"
    awk -v module="$work/$1.b64" '/id="module"/ { getline text <module; sub(/>[^<]*</, ">" text "<") } { print }' \
      "$page" >"$work/$1.html" && echo "$work/$1.html"
  }
  shows "$page" "$report" '^exit status 0$' ''
  shows "$page" /dev/null '^The program could not run here: ' '' --js-flags=--jitless
  printf 'out\n' >"$work/TRAPS" && printf '\357\273\277x' >"$work/BYTE_ORDER_MARK"
  awk 'BEGIN { for (i = 0; i < 65536; i++) printf "0123456789abcdef" }' >"$work/LARGE"
  shows "$(holding TRAPS)" "$work/TRAPS" '^The program stopped: ' "err$nl"
  shows "$(holding BYTE_ORDER_MARK)" "$work/BYTE_ORDER_MARK" '^exit status 0$' ''
  shows "$(holding LARGE)" "$work/LARGE" '^exit status 0$' ''
  # The button, clicked from a page around it, hands the clipboard the bytes; below them, README's
  # lesson from what it prints to why these digits, its headings in order, each picture drawn.
  { cat "$report" && echo && echo 'H1 trapezoid' && sed -n '/^## What it prints$/,/^## Building/{
    s/^### /H3 /p; s/^## /H2 /p; s/^!\[\(.*\)\](.*)$/IMG \1/p; }' "$source/README.md" | sed '$d'; } >"$work/lesson"
  cat >"$work/copy.html" <<EOF
<pre id="stdout"></pre><p id="status"></p><pre id="stderr"></pre><iframe src="file://$page" height="99999"></iframe><script>
const frame = document.querySelector("iframe"), shown = id => document.getElementById(id);
frame.onload = function copy() { const page = frame.contentWindow, button = page.document.getElementById("copy");
  if (button.disabled || [...page.document.images].some(image => !image.complete)) return setTimeout(copy, 50);
  const lesson = [...page.document.querySelectorAll("h1, h2, h3, img")].map(e => e.alt === undefined ?
    e.tagName + " " + e.textContent : (e.naturalWidth ? "IMG " : "UNDRAWN ") + e.alt).join("\n") + "\n";
  const taught = page.document.body.textContent.includes("Halving h cuts the error fourfold") ? " and taught" : "";
  page.navigator.clipboard.writeText = text => Promise.resolve(shown("stdout").textContent = text + "\n" + lesson,
    shown("status").textContent = "copied" + taught);
  button.click(); };</script>
EOF
  shows "$work/copy.html" "$work/lesson" '^copied and taught$' '' --allow-file-access-from-files ;;
figures)
  # Drawn again, the same data (by the same gnuplot, the same bytes), and two rows computed apart.
  sh "$source/doc/figures.sh" "$work" >/dev/null
  by() { grep -o 'Produced by GNUPLOT [^<]*' "$1"; }
  data() { sed -n '/<!-- The data drawn/,/-->/p' "$1"; }
  for picture in trapezoids.svg error.svg; do
    committed=$source/doc/$picture
    if [ "$(by "$committed")" = "$(by "$work/$picture")" ]; then cmp -s "$committed" "$work/$picture"; else
      [ "$(data "$committed")" = "$(data "$work/$picture")" ]; fi || fail "$committed is not what doc/figures.sh draws"
  done
  for row in "1 8.19767068693264545e-02 8.197671e-02 3.006711e-17" \
    "64 2.03449692996092934e-05 2.034497e-05 2.360358e-17"; do
    grep -qx "$row" "$source/doc/error.svg" || fail "doc/error.svg lacks the row '$row'"
  done ;;
documents)
  for name in $(sed -n 's/^\([a-z-]*\)).*/\1/p' "$0"); do
    grep -q "^| \`$name\` |" "$source/BUILDING.md" || fail "BUILDING.md's table of tests lacks $name"
  done
  sed -n '/^## What it prints$/,/^- /s/^    //p' "$source/README.md" >"$work/shown"
  { cat "$report" && echo; } | cmp -s - "$work/shown" || fail "README.md shows the report as$nl$(cat "$work/shown")"
  man=$source/doc/trapezoid.1.in && value() { grep -o '[0-9]\.[0-9]\{16\}' "$1"; }
  if [ "$(sed -n 's/^\.B "\(.*\)"$/\1/p' "$man")" != "$(sed 's/\(=\).*/\1/' "$report")" ] ||
    [ "$(value "$man")" != "$(value "$report")" ]; then fail "$man does not give the report's labels and values"; fi ;;
*) fail "no check named '$check'" ;;
esac
