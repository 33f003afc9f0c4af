#!/usr/bin/env bash
# Installs a build into a staging directory (DESTDIR) under a prefix with a
# blank in it and checks the installed tree from there: the program runs and
# finds its library, the desktop files and the manual page validate, the user
# unit starts the installed program, and programs build against the installed
# QuillonGen through pkg-config and find_package and find its message table.
#
# usage: install_test.sh <build dir> <sanitized build 0|1>
set -euo pipefail

build=$(cd "$1" && pwd)
sanitized=${2:-0}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/stage
prefix="/opt/tarn watch"
root=$stage$prefix
export TZ=UTC QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
ok() { echo "ok: $*"; }

# Programs built against a sanitized library must carry the runtime first.
san_flags=()
[ "$sanitized" = 1 ] && san_flags=(-fsanitize=address,undefined)

DESTDIR=$stage cmake --install "$build" --prefix "$prefix" >"$work/install.log" ||
    fail "cmake --install: $(cat "$work/install.log")"

# --- the layout and the library ---------------------------------------------
program=$root/bin/tarnwatch
[ -x "$program" ] || fail "no $prefix/bin/tarnwatch"
library=$(find "$root" -name 'libquillongen.so.*.*' -type f)
[ -n "$library" ] || fail "no versioned libquillongen.so below $prefix"
libdir=$(dirname "$library")
[ -f "$libdir/libquillongen.so" ] || fail "no development link libquillongen.so"
readelf -d "$library" | grep -q 'SONAME.*\[libquillongen\.so\.[0-9]*\]' ||
    fail "libquillongen has no versioned SONAME"
[ -e "$libdir/$(readelf -d "$library" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')" ] ||
    fail "nothing installed under the library's SONAME"
for header in "$here"/../../quillongen/include/quillongen/*.h; do
    [ -f "$root/include/quillongen/$(basename "$header")" ] ||
        fail "header $(basename "$header") not installed"
done
runpath=$(readelf -d "$program" | sed -n 's/.*\(RUNPATH\|RPATH\).*\[\(.*\)\]/\2/p')
case "$runpath" in
    '$ORIGIN'*) ;;
    *) fail "the program's RUNPATH is '$runpath', not relative to \$ORIGIN" ;;
esac
# Nothing installed may point back into the build tree (the binaries'
# debugging sections aside, which name their sources by design).
if stray=$(grep -rlI -F "$build" "$root"); then
    fail "installed files name the build tree: $stray"
fi
loaded=$(ldd "$program" | sed -n 's/.*libquillongen[^ ]* => \(.*\) (0x.*/\1/p')
[ "$(readlink -f "$loaded")" = "$(readlink -f "$library")" ] ||
    fail "the program loads '$loaded', not the installed library"
ok "layout, SONAME, headers, RUNPATH $runpath"

# --- the installed program ----------------------------------------------------
help=$("$program" --help) || fail "--help exited with $?"
grep -q -- '--headless' <<<"$help" || fail "--help does not mention --headless"
mkdir -p "$work/home" "$work/config" "$work/data"
run_once() {
    TARNWATCH_HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
        "$program" --headless --once >"$work/once.out" 2>"$work/once.err"
}
# 255 means another copy runs on this machine (another test, say): wait it out.
for attempt in $(seq 1 40); do
    status=0
    run_once || status=$?
    [ "$status" = 255 ] || break
    sleep 0.5
done
[ "$status" = 0 ] || fail "--headless --once on an empty list exited with $status:
$(cat "$work/once.out" "$work/once.err")"
grep -q 'Status : Ok' "$work/once.out" || fail "--headless --once printed: $(cat "$work/once.out")"
[ -f "$work/config/Quillon/Tarnwatch.conf" ] || fail "--headless --once saved no settings"
ok "tarnwatch --help, --headless --once on an empty list"

# --- desktop files --------------------------------------------------------------
desktop=$(find "$root/share/applications" -name '*.desktop')
metainfo=$(find "$root/share/metainfo" -name '*.metainfo.xml')
[ "$(wc -l <<<"$desktop")" = 1 ] && [ -f "$desktop" ] || fail "not one launcher: $desktop"
[ -f "$metainfo" ] || fail "no AppStream metainfo"
desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
    fail "appstreamcli validate: $(cat "$work/appstream.log")"
grep -qF "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $(basename "$desktop")"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$root/bin/$exec_name" ] || fail "the launcher runs '$exec_name', which is not installed"
icon=$(sed -n 's/^Icon=//p' "$desktop")
icons=$root/share/icons/hicolor
[ -f "$icons/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon.svg"
for size in 16 24 32 48 64 128 256; do
    file "$icons/${size}x$size/apps/$icon.png" | grep -q "PNG image data, $size x $size" ||
        fail "no $size x $size PNG icon $icon.png"
done
ok "launcher, metainfo and icons validate"

# --- manual page ----------------------------------------------------------------
page=$root/share/man/man1/tarnwatch.1.gz
[ -f "$page" ] || fail "no manual page"
zcat "$page" | groff -ww -man -z 2>"$work/groff.log" || fail "groff failed on the manual page"
[ ! -s "$work/groff.log" ] || fail "groff warns: $(cat "$work/groff.log")"
text=$(MANWIDTH=200 man --warnings -l "$page" 2>"$work/man.log") || fail "man -l failed"
[ ! -s "$work/man.log" ] || fail "man warns: $(cat "$work/man.log")"
for option in $(grep -o -- '--[a-z]*' <<<"$help" | sort -u); do
    grep -qF -- "$option" <<<"$text" || fail "the manual page does not describe $option"
done
grep -qF "$prefix/lib/systemd/user/tarnwatch-headless.service" <<<"$text" ||
    fail "the manual page does not name the installed user unit"
ok "manual page renders without warnings"

# --- systemd user unit ----------------------------------------------------------
unit=$root/lib/systemd/user/tarnwatch-headless.service
[ -f "$unit" ] || fail "no user unit"
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
# The program's path is the first word, quoted when it holds a blank.
unit_program=$(sed -n 's/^"\([^"]*\)".*/\1/p; t; s/^\([^ ]*\).*/\1/p' <<<"$exec_start")
[ "$unit_program" = "$prefix/bin/tarnwatch" ] ||
    fail "ExecStart runs '$unit_program', not the installed program"
[[ "$exec_start" == *" --headless" ]] || fail "ExecStart is '$exec_start'"
grep -qx 'Restart=on-failure' "$unit" || fail "the unit is not restarted on failure"
ok "user unit starts $prefix/bin/tarnwatch --headless"

# --- programs built against the installed QuillonGen ----------------------------
pc=$(find "$root" -name quillongen.pc)
[ -f "$pc" ] || fail "no quillongen.pc"
# pkg-config escapes the blank of the prefix; eval reads the flags back.
eval "flags=($(PKG_CONFIG_SYSROOT_DIR=$stage PKG_CONFIG_PATH=$(dirname "$pc") \
    pkg-config --cflags --libs quillongen))"
"${CC:-cc}" -std=c11 -Wall -Wextra -Werror "${san_flags[@]}" "$here/consumer.c" \
    "${flags[@]}" -o "$work/c-consumer" || fail "the C consumer does not build with pkg-config"
out=$(LD_LIBRARY_PATH=$libdir "$work/c-consumer" 'dir\sub/list.ini') ||
    fail "the C consumer failed"
[ "$out" = 'dir\sub/' ] || fail "str_getPrefix gave '$out'"
ok "C program built with pkg-config"

cmake -S "$here/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$root" \
    -DCMAKE_CXX_FLAGS="${san_flags[*]}" >"$work/consumer.log" 2>&1 &&
    cmake --build "$work/consumer" >>"$work/consumer.log" 2>&1 ||
    fail "the find_package consumer does not build: $(cat "$work/consumer.log")"
consumer=$work/consumer/consumer
tables=$root/share/quillongen/Tables
table_text=$(sed -n 's/^1001 //p' "$here/../../quillongen/tables/err_lib.tbl")

# With XRDTBL unset, the installed library reads its own table.
out=$(cd "$work" && env -u XRDTBL "$consumer" "$work/installed.rpt") ||
    fail "the consumer failed with the installed table"
[ "$out" = "0 $work/" ] || fail "err_init with the installed table: '$out'"
grep -qF "$table_text" "$work/installed.rpt" || fail "message 1001 lacks its table text"
# XRDTBL still chooses another table.
mkdir "$work/own"
printf '1001 own text of 1001\n' >"$work/own/err_lib.tbl"
out=$(cd "$work" && XRDTBL=$work/own "$consumer" "$work/own.rpt") ||
    fail "the consumer failed with XRDTBL"
grep -qF "own text of 1001" "$work/own.rpt" || fail "XRDTBL does not choose the table"
# A missing table: err_init says so and messages go on without their texts.
mv "$tables/err_lib.tbl" "$work/err_lib.tbl"
out=$(cd "$work" && env -u XRDTBL "$consumer" "$work/missing.rpt") ||
    fail "the consumer failed without its table"
[ "${out%% *}" = 1001 ] || fail "err_init without its table gave '$out'"
grep -qF "Exception code not in table !" "$work/missing.rpt" ||
    fail "a message without the table says nothing about it"
# A missing table directory ends the program with the fatal message, not a crash.
mv "$tables" "$work/Tables"
status=0
(cd "$work" && env -u XRDTBL "$consumer" "$work/gone.rpt") >/dev/null 2>"$work/gone.err" ||
    status=$?
[ "$status" = 0 ] || fail "without a table directory the consumer exited with $status"
grep -qF "Table directory does not exist as installed" "$work/gone.err" ||
    fail "without a table directory: $(cat "$work/gone.err")"
ok "C++ program built with find_package; message table found, overridden, missing"
