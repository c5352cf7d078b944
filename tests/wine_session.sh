#!/bin/sh
# Starts or ends the Wine session the Windows tests run in.
# Usage: wine_session.sh start|stop LOADER   (WINEPREFIX and the like set)
#
# The first program of a session starts the Wine server and Wine's own
# services, and they inherit its standard output. Started from a test, they
# would hold that test's output open until they exit, and ctest waits for it:
# seconds for every test. Started here, cut off from every pipe and kept for
# the whole run, they cost that once.
set -eu
action=$1
loader=$2
server=$(dirname "$loader")/wineserver
case $action in
  start)
    "$server" -w                      # a session left from listing the tests ends first
    "$server" -p5 </dev/null >/dev/null 2>&1
    "$loader" wineboot </dev/null >/dev/null 2>&1
    ;;
  stop)
    "$server" -k 2>/dev/null || true  # nothing to end when the session timed out itself
    ;;
  *)
    echo "usage: $0 start|stop LOADER" >&2
    exit 2
    ;;
esac
