#!/bin/sh
# VRKTool.exe run as a user runs it, under Wine on the test session's virtual
# X server, driven by the keyboard: Compress a folder, Extract the archive
# again, open the About box through the window menu, and end the program
# with Escape, which must leave exit status 0.
# Usage: process_test.sh LOADER VRKTool.exe [SCREENSHOT.png]
#   (WINEPREFIX set, the session started by tests/wine_session.sh)
# With SCREENSHOT, the main window is saved there after both commands.
set -eu
loader=$1
exe=$2
shot=${3:-}
DISPLAY=:$(cat "$WINEPREFIX.display")
export DISPLAY

# The work folder is on drive C: of the prefix (see below).
program=
work=$WINEPREFIX/drive_c/vrk-process-$$
rm -rf "$work"
mkdir "$work"
trap '[ -z "$program" ] || kill "$program" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/mods/island/sub" "$work/out"
printf 'abc' >"$work/mods/island/a.txt"
printf '0123456789' >"$work/mods/island/sub/b.txt"
# Should the browser's preselection fail, its OK would pack the desktop,
# which Wine links to the user's home: the test prefix gets a desktop folder
# of its own, empty.
desktop=$WINEPREFIX/drive_c/users/$(id -un)/Desktop
if [ -L "$desktop" ]; then
  rm "$desktop"
  mkdir "$desktop"
fi
archive="C:\\$(basename "$work")\\out\\pack.vrk"

# VRK_FAIL_SHOT names a file for a picture of the screen at a failure.
fail() {
  echo "FAIL: $*" >&2
  [ -z "${VRK_FAIL_SHOT:-}" ] || import -window root "$VRK_FAIL_SHOT"
  exit 1
}
# The window with exactly this title, once it is shown, given the focus;
# its id in $win.
window() {
  win=$(timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1) || true
  [ -n "$win" ] || fail "no window \"$1\""
  xdotool windowfocus --sync "$win"
}
# Waits until a file exists.
appears() {
  tries=0
  until [ -e "$1" ]; do
    tries=$((tries + 1))
    [ $tries -le 300 ] || fail "$1 was not written"
    sleep 0.1
  done
}

# The program starts in the folder to pack, the folder browser opens on it.
# Started from Unix, its current directory would be on Z: (the Unix root),
# which Wine's folder browser cannot select: start.exe sets it on C: and
# hands back the program's exit status.
"$loader" start /wait /d "C:\\$(basename "$work")\\mods\\island" "$(printf 'Z:%s' "$exe" | tr / '\\')" &
program=$!

window "Korvane VRK Tool"
main=$win
# Compress: Tab from "Extract" to "Compress", the preselected folder, the name.
# Wine's first folder browser in a process opens without its preselection
# (later ones have it): that one is cancelled, which must do nothing.
xdotool key Tab space
window "Browse for Folder"
xdotool key Escape
window "Korvane VRK Tool"
xdotool key space
window "Browse for Folder"
# Wine's browser selects the folder once its tree is filled in, a moment
# after it shows.
sleep 3
xdotool key Return
window "Save to..."
xdotool type --delay 5 "$archive"
xdotool key Return
appears "$work/out/pack.vrk"

# Extract: back to "Extract", the archive just written.
window "Korvane VRK Tool"
xdotool key shift+Tab space
window "Extract file..."
xdotool type --delay 5 "$archive"
xdotool key Return
appears "$work/out/pack/sub/b.txt"
sleep 0.5
diff -r "$work/mods/island" "$work/out/pack" || fail "the extracted folder differs from the packed one"

window "Korvane VRK Tool"
if [ -n "$shot" ]; then
  sleep 0.5
  import -window "$main" "$shot"
fi

# The About box from the window menu: its last item (Up from the first).
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
echo "VRKTool.exe: Compress, Extract, About and Escape done"
