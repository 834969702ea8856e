# Sourced by the scripts that talk to the tracker simulator.
#
# start_simulator SIM LINK [ARGS...]
# Starts SIM with its pseudo-terminal at LINK and returns once the line is
# there: the simulator names its line on standard output when it has made
# it, so this waits for that line (at most 10 s) instead of looking for the
# link again and again. Sets sim_pid. Fails, with the simulator's own message
# on standard error, when no line came.
start_simulator() {
  local sim=$1 link=$2 ready=
  shift 2
  # Its standard output stays open on sim_output, so a later line never
  # finds the pipe closed.
  exec {sim_output}< <(exec "$sim" --link "$link" "$@")
  sim_pid=$!
  IFS= read -r -t 10 ready <&"$sim_output" || true
  if [ -z "$ready" ] || [ ! -e "$link" ]; then
    echo "the simulator did not start ($sim --link $link $*)" >&2
    return 1
  fi
}
