#!/usr/bin/env bash
# End-to-end test of the real program in a real X server without a window manager,
# in the C locale: open a VELMOR file named on the command line, convert it to
# Shift-JIS from the menu, save it through the (Japanese) save dialog, take a
# screenshot, close it, open the result through the open dialog with a typed path,
# go to a line and find a word through the dialogs their keys open, show the About
# box, close the window and check that the program ended.
# Usage: e2e_test.sh VELMOR_KANJI X11TOOL ARTIFACT_DIR
set -euo pipefail
app=$1
tool=$2
artifacts=$3
caption="ＶＥＬＭＯＲ＿ＳＪＩＳ漢字変換"

work=$(mktemp -d)
mkdir -p "$artifacts"
xvfb_pid=""
app_pid=""
cleanup() {
    [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    "$tool" shot "$artifacts/failure.png" 2>/dev/null || true
    exit 1
}

# A free display number: no socket and no lock file.
for n in $(seq 91 199); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] || { display=":$n"; break; }
done
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [[ -S /tmp/.X11-unix/X${display#:} ]] && break; sleep 0.1; done
export DISPLAY=$display
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
export LANG=C LC_ALL=C

printf '\x93\x70\xb0\xa1\xa4\xa2\x93\xf1ABC\r\n\x93\x70\x20\x20\x93\xf1x\r\n' >"$work/velmor.txt"
expected=$(printf '\x88\x9f\x82\xa0ABC\r\n\x81\x40x\r\n\r\n' | od -An -tx1)

(cd "$work" && exec "$app" "$work/velmor.txt") >"$work/app.log" 2>&1 &
app_pid=$!
"$tool" wait "$caption" 60 >/dev/null || fail "the main window did not appear"

# Keys reach a window only once it has the focus; there is no window manager here.
focus() {
    "$tool" focus "$1" 20 || fail "no window '$1'"
    sleep 0.5
}
# Opens a menu with its Alt key and chooses an item by its letter. The first key
# after a dialog closed can be lost while the window gets its focus back: retry.
menu() {  # menu ALT_KEY ITEM_KEY
    for _ in $(seq 10); do
        focus "$caption"
        xdotool key "$1"
        sleep 0.5
        if "$tool" popup; then
            xdotool key "$2"
            sleep 1
            return 0
        fi
    done
    fail "menu $1 did not open"
}
type_into_dialog() {  # type_into_dialog TITLE TEXT
    "$tool" focus "$1" 20 || fail "no dialog '$1'"
    sleep 0.5
    xdotool type --delay 20 "$2"
    xdotool key Return
}
gone() {  # waits until no window has the title
    for _ in $(seq 100); do "$tool" list | grep -q " $1\$" || return 0; sleep 0.2; done
    fail "window '$1' stayed open"
}

menu alt+c s

# 行へ移動 (Ctrl+G) and 検索 (Ctrl+F) open their dialogs, take what is typed and close.
for _ in $(seq 10); do
    focus "$caption"
    xdotool key ctrl+g
    "$tool" wait "行へ移動" 2 >/dev/null && break
done
type_into_dialog "行へ移動" "2:3"
gone "行へ移動"
focus "$caption"
xdotool key ctrl+f
type_into_dialog "検索" "ABC"
gone "検索"
"$tool" shot "$artifacts/window.png" "$caption"
menu alt+f a
type_into_dialog "名前を付けて保存" "$work/sjis.txt"
gone "名前を付けて保存"
for _ in $(seq 50); do [[ -s "$work/sjis.txt" ]] && break; sleep 0.2; done
actual=$(od -An -tx1 <"$work/sjis.txt" 2>/dev/null || true)
[[ "$actual" == "$expected" ]] || fail "saved bytes differ: got $actual, want $expected"
menu alt+f c

# A typed full path ends the open dialog; its completion list must go with it.
focus "$caption"
xdotool key ctrl+o
type_into_dialog "開く" "$work/sjis.txt"
gone "開く"
sleep 1
"$tool" popup && fail "a popup stayed on screen after the open dialog closed"

# After a box closes the main window has the keyboard again, with no click.
focus "$caption"
xdotool key alt+v
focus "情報"
xdotool key Return
gone "情報"
sleep 1
xdotool key alt+f
sleep 1
"$tool" popup || fail "Alt+F did nothing after the About box closed"
xdotool key Escape

# Saved, so closing the window asks nothing and ends the program.
"$tool" close "$caption"
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$app_pid" 2>/dev/null && fail "the program still runs after its window was closed"
status=0
wait "$app_pid" || status=$?
app_pid=""
[[ $status -eq 0 ]] || { cat "$work/app.log" >&2; fail "the program ended with status $status"; }
echo "e2e: opened, converted, saved and closed the real window; screenshot in $artifacts/window.png"
