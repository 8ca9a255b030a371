# Timing helpers shared by the benchmark scripts (sourced, not run).
# The caller sets `runs` and, optionally, `clean` (a command run before each run).

# Best wall time in milliseconds of `runs` runs of the command; `$clean` runs before each.
best_ms() {
  local best=0 start end ms
  for ((i = 0; i < runs; i++)); do
    eval "${clean:-:}"
    sync
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    ms=$(( (end - start) / 1000000 ))
    if [[ $best -eq 0 || $ms -lt $best ]]; then best=$ms; fi
  done
  echo "$best"
}

# a / b with two decimals.
ratio() { awk "BEGIN{printf \"%.2f\", $1/($2>0?$2:1)}"; }
