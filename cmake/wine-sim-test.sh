#!/bin/bash
# Runs a Windows test executable under Wine with its COM1 connected to a
# native is900-sim, then checks the simulator's command log.
#
#   wine-sim-test.sh --sim PATH [--sim-arg ARG]... [--expect-log FILE]
#                    [--timeout SECONDS] -- TEST.exe [TEST ARGS]...
#
# --sim         the native is900-sim (built by the native preset)
# --sim-arg     one argument for the simulator (repeat for more)
# --expect-log  the commands the simulator must have received, one a line;
#               empty or absent: not checked
# --timeout     limit for the Wine run (default 120 s)
#
# COM1 of the Wine prefix ($WINEPREFIX, default /tmp/is900-wineprefix) is
# mapped once to the fixed link $IS900_COM1_LINK (default /tmp/is900-com1),
# which each simulator run points at its own pseudo-terminal. Runs that share
# the link wait for each other on a lock file. The simulator is always
# stopped when the harness ends.
set -u
sim= expect= limit=120
sim_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --sim) sim=$2; shift 2 ;;
    --sim-arg) sim_args+=("$2"); shift 2 ;;
    --expect-log) expect=$2; shift 2 ;;
    --timeout) limit=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "wine-sim-test: unknown option $1" >&2; exit 2 ;;
  esac
done
[ $# -gt 0 ] || { echo "wine-sim-test: no test executable given" >&2; exit 2; }
if [ ! -x "$sim" ]; then
  echo "wine-sim-test: no native simulator at '$sim'; build it first:" >&2
  echo "  cmake --preset native && cmake --build build/native --target is900-sim" >&2
  echo "  (or configure this build with -DIS900_NATIVE_SIM=<path to is900-sim>)" >&2
  exit 2
fi

: "${WINEPREFIX:=${TMPDIR:-/tmp}/is900-wineprefix}"
export WINEPREFIX WINEDEBUG=-all
link=${IS900_COM1_LINK:-/tmp/is900-com1}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/is900-wine-sim.XXXXXX")
sim_pid=

finish() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null
    for _ in 1 2 3 4 5 6 7 8 9 10; do kill -0 "$sim_pid" 2>/dev/null || break; sleep 0.2; done
    kill -9 "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap finish EXIT
trap 'exit 130' INT TERM

exec 9>"$link.lock"
flock -w 600 9 || { echo "wine-sim-test: $link.lock stays locked" >&2; exit 1; }

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
fi
# A new COM1 mapping is read when the Wine server starts, so wait for the
# running one to end after changing it (once per prefix).
if ! wine reg query 'HKLM\Software\Wine\Ports' /v COM1 2>/dev/null | grep -qF "$link"; then
  wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$link" /f >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
fi

source "$here/../scripts/lib/simulator.sh"
if ! start_simulator "$sim" "$link" --command-log "$work/commands.log" "${sim_args[@]}" 2>"$work/sim.err"; then
  echo "wine-sim-test: the simulator did not start" >&2
  cat "$work/sim.err" >&2
  exit 1
fi

timeout -k 5 "$limit" "$here/wine-run.sh" "$@"
status=$?
[ $status -eq 124 ] && echo "wine-sim-test: the test ran longer than $limit s" >&2

if [ -n "$expect" ]; then
  if ! diff -u "$expect" "$work/commands.log" >"$work/diff"; then
    echo "wine-sim-test: the simulator received other commands than $expect:" >&2
    cat "$work/diff" >&2
    [ $status -eq 0 ] && status=1
  fi
fi
if [ $status -ne 0 ]; then
  echo "--- simulator log" >&2
  cat "$work/sim.err" >&2
fi
exit $status
