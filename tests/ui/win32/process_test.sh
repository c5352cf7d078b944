#!/bin/sh
# VRKTool.exe as a user runs it, under Wine on the session's virtual X server,
# driven by the keyboard: Compress a folder, Extract the archive, the About box
# from the window menu, and Escape, which must end it with status 0.
# Usage: process_test.sh LOADER VRKTool.exe   (in the session of tests/wine_session.sh)
set -eu
DISPLAY=:$(cat "$WINEPREFIX.display")
export DISPLAY
program=
work=$WINEPREFIX/drive_c/vrk-process-$$
trap '[ -z "$program" ] || kill "$program" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/mods/island/sub" "$work/out"
printf 'abc' >"$work/mods/island/a.txt"
printf '0123456789' >"$work/mods/island/sub/b.txt"
# A failed preselection would have the browser pack the desktop, which Wine
# links to the user's home: the prefix gets an empty one of its own.
desktop=$WINEPREFIX/drive_c/users/$(id -un)/Desktop
[ ! -L "$desktop" ] || { rm "$desktop" && mkdir "$desktop"; }
archive="C:\\$(basename "$work")\\out\\pack.vrk"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# Waits for the window with exactly this title and gives it the focus.
window() {
  win=$(timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1) || true
  [ -n "$win" ] || fail "no window \"$1\""
  xdotool windowfocus --sync "$win"
}
appears() {
  timeout 30 sh -c 'until [ -e "$0" ]; do sleep 0.1; done' "$1" || fail "$1 was not written"
}

# Wine's folder browser cannot select a folder on Z: (the Unix root), so
# start.exe starts the program on C:, and hands back its exit status.
"$1" start /wait /d "C:\\$(basename "$work")\\mods\\island" "$(printf 'Z:%s' "$2" | tr / '\\')" &
program=$!
# Compress ("Extract", Tab): Wine's first folder browser in a process has no
# preselection; cancelled, it does nothing. The second selects the folder
# once its tree is filled in, a moment after it shows.
window "Korvane VRK Tool"
xdotool key Tab space
window "Browse for Folder"
xdotool key Escape
window "Korvane VRK Tool"
xdotool key space
window "Browse for Folder"
sleep 3
xdotool key Return
window "Save to..."
xdotool type --delay 5 "$archive"
xdotool key Return
appears "$work/out/pack.vrk"
# Extract (shift+Tab) the archive just written.
window "Korvane VRK Tool"
xdotool key shift+Tab space
window "Extract file..."
xdotool type --delay 5 "$archive"
xdotool key Return
appears "$work/out/pack/sub/b.txt"
sleep 0.5
diff -r "$work/mods/island" "$work/out/pack" || fail "the extracted folder differs from the packed one"
# The About box: the window menu's last item (Up from the first).
window "Korvane VRK Tool"
xdotool key alt+space
sleep 0.5
xdotool key Up Return
window "About VRKTool"
xdotool key Return
window "Korvane VRK Tool"
xdotool key Escape
status=0
wait "$program" || status=$?
program=
[ "$status" -eq 0 ] || fail "VRKTool.exe ended with status $status"
