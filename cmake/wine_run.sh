#!/bin/sh
# Runs a Windows program under Wine for the tests: the emulator of the cross
# build. Usage: wine_run.sh LOADER PROGRAM [ARGS...]   (WINEPREFIX set)
#
# Windows appear on the virtual X server of the running test session (see
# tests/wine_session.sh), whose display it noted beside the prefix; outside
# a session (listing the tests) programs run without a display.
loader=$1
shift
if [ -s "$WINEPREFIX.display" ]; then
  DISPLAY=:$(cat "$WINEPREFIX.display")
  export DISPLAY
else
  unset DISPLAY
fi
exec "$loader" "$@"
