#!/bin/sh
# Starts or ends the Wine session the Windows tests run in.
# Usage: wine_session.sh start|stop LOADER   (WINEPREFIX and the like set)
#
# The first program of a session starts the Wine server and Wine's own
# services, and they inherit its standard output. Started from a test, they
# would hold that test's output open until they exit, and ctest waits for it:
# seconds for every test. Started here, cut off from every pipe and kept for
# the whole run, they cost that once.
#
# The session has a virtual X server of its own (Xvfb, on the first free
# display), where the dialog tests' windows appear; its display number is
# noted beside the prefix for cmake/wine_run.sh. Its windows are left
# unmanaged: with no window manager, Wine's managed windows cost seconds each
# as they close and take keys only under the pointer.
set -eu
action=$1
loader=$2
server=$(dirname "$loader")/wineserver
display_file=$WINEPREFIX.display
xvfb_pid_file=$WINEPREFIX.xvfb-pid

stop_display() {
  if [ -s "$xvfb_pid_file" ]; then
    kill "$(cat "$xvfb_pid_file")" 2>/dev/null || true
  fi
  rm -f "$display_file" "$xvfb_pid_file"
}

case $action in
  start)
    "$server" -w                      # a session left from listing the tests ends first
    stop_display                      # and the display of a session that never stopped
    # The session's X server; -displayfd writes its display number once it
    # accepts connections.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" </dev/null >/dev/null 2>&1 &
    echo $! >"$xvfb_pid_file"
    tries=0
    until [ -s "$display_file" ]; do
      tries=$((tries + 1))
      [ $tries -le 100 ] || { echo "Xvfb did not start" >&2; stop_display; exit 1; }
      sleep 0.1
    done
    DISPLAY=:$(cat "$display_file")
    export DISPLAY
    "$server" -p5 </dev/null >/dev/null 2>&1
    "$loader" wineboot </dev/null >/dev/null 2>&1
    # Settings of the prefix: unmanaged X windows.
    "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    ;;
  stop)
    "$server" -k 2>/dev/null || true  # nothing to end when the session timed out itself
    stop_display
    ;;
  *)
    echo "usage: $0 start|stop LOADER" >&2
    exit 2
    ;;
esac
