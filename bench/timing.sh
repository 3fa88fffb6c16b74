# Shared by the benchmark scripts: sourced, not run.

seconds() { # the wall time of "$@" in seconds, its output discarded
  local start=$EPOCHREALTIME
  "$@" >/dev/null
  echo "$EPOCHREALTIME - $start" | bc -l
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

calc() { echo "$1" | bc -l; }
