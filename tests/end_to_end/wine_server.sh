#!/bin/sh
# Starts (making the prefix first) or stops the one persistent wine server of the Wine suite, so
# that no test pays for Wine's first start and no server outlives the suite.
set -e
case "$1" in
  start)
    mkdir -p "${WINEPREFIX:-$HOME/.wine}"
    wineserver -k 2>/dev/null || true
    wineserver -p >/dev/null 2>&1  # else the server holds the test runner's output open
    wineboot -i >/dev/null 2>&1
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
