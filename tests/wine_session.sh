#!/bin/sh
# Starts or ends the Windows tests' Wine session (wine_session.sh start|stop LOADER, with WINEPREFIX set): Wine's
# services cut off from every pipe (a test that started them would be held open until they end), a virtual X server
# with its display noted beside the prefix, and unmanaged windows (managed: slow to close, keys only under the pointer).
set -eu
server=$(dirname "$2")/wineserver
display_file=$WINEPREFIX.display
xvfb_pid_file=$WINEPREFIX.xvfb-pid

stop_display() {
  [ ! -s "$xvfb_pid_file" ] || kill "$(cat "$xvfb_pid_file")" 2>/dev/null || true
  rm -f "$display_file" "$xvfb_pid_file"
}

if [ "$1" = stop ]; then
  "$server" -k 2>/dev/null || true  # nothing to end when the session timed out itself
  stop_display
  exit 0
fi
"$server" -w  # a session left from listing the tests ends first
stop_display  # and the display of a session that never stopped
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" </dev/null >/dev/null 2>&1 &
echo $! >"$xvfb_pid_file"
# -displayfd writes the display number once it accepts connections.
timeout 10 sh -c 'until [ -s "$0" ]; do sleep 0.1; done' "$display_file" || { echo "Xvfb did not start" >&2; stop_display; exit 1; }
export DISPLAY=:$(cat "$display_file")
"$server" -p5 </dev/null >/dev/null 2>&1
"$2" wineboot </dev/null >/dev/null 2>&1
"$2" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
