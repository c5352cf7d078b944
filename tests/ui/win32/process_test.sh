#!/bin/sh
# VRKTool.exe run by the keyboard under Wine on the session's X server (tests/wine_session.sh): Compress, Extract,
# the About box from the window menu, and Escape, which must end it with status 0. Usage: process_test.sh LOADER EXE
set -eu
export DISPLAY=:$(cat "$WINEPREFIX.display")
program=
work=$WINEPREFIX/drive_c/vrk-process-$$
trap '[ -z "$program" ] || kill "$program" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/mods/island/sub" "$work/out"
printf 'abc' >"$work/mods/island/a.txt"
printf '0123456789' >"$work/mods/island/sub/b.txt"
# Should the preselection fail, the browser packs the desktop: Wine links it to the home, so the prefix gets its own.
desktop=$WINEPREFIX/drive_c/users/$(id -un)/Desktop
[ ! -L "$desktop" ] || { rm "$desktop" && mkdir "$desktop"; }
archive="C:\\$(basename "$work")\\out\\pack.vrk"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# Waits for the window with this title, focuses it, presses the keys. The search is retried, not left to --sync:
# xdotool dies on an X error when a window vanishes while it looks (Wine's windows come and go at start-up).
keys() {
  win= tries=0
  until win=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) && [ -n "$win" ]; do
    tries=$((tries + 1))
    [ "$tries" -lt 300 ] || fail "no window \"$1\""
    sleep 0.1
  done
  xdotool windowfocus --sync "$win"
  shift
  [ $# -eq 0 ] || xdotool key "$@"
}
# Types the archive's path into a file dialog, then waits for a file.
answer() {
  keys "$1"
  xdotool type --delay 5 "$archive"
  xdotool key Return
  timeout 30 sh -c 'until [ -e "$0" ]; do sleep 0.1; done' "$2" || fail "$2 was not written"
}

# On C: (Wine's browser cannot select folders on Z:), its exit status handed back.
"$1" start /wait /d "C:\\$(basename "$work")\\mods\\island" "$(printf 'Z:%s' "$2" | tr / '\\')" &
program=$!
# Compress (Tab from "Extract"): Wine's first browser has no preselection and is cancelled; the second is answered.
keys "Korvane VRK Tool" Tab space
keys "Browse for Folder" Escape
keys "Korvane VRK Tool" space
keys "Browse for Folder"
sleep 3
xdotool key Return
answer "Save to..." "$work/out/pack.vrk"
sleep 0.5
# Extract (shift+Tab) the archive just written.
keys "Korvane VRK Tool" shift+Tab space
answer "Extract file..." "$work/out/pack/sub/b.txt"
sleep 0.5
diff -r "$work/mods/island" "$work/out/pack" || fail "the extracted folder differs from the packed one"
# The About box: the window menu's last item (Up from the first).
keys "Korvane VRK Tool" alt+space
sleep 0.5
xdotool key Up Return
keys "About VRKTool" Return
keys "Korvane VRK Tool" Escape
wait "$program" || fail "VRKTool.exe ended with status $?"
program=
