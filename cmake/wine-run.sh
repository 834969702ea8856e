#!/bin/sh
# Runs a Windows test executable under Wine in a throw-away prefix.
: "${WINEPREFIX:=${TMPDIR:-/tmp}/is900-wineprefix}"
export WINEPREFIX
export WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1
fi
exec wine "$@"
