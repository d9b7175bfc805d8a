# Shared by the benchmark scripts: timing, medians and the generated projects. Source it.

# Seconds taken by a command, to the microsecond, after a `sync` so that the write-back of earlier
# files is not charged to it; its output is discarded, and so is its exit status (a check with
# findings ends with status 1). The clock is bash's own: starting `date` before and after would
# charge the command about 1.3 ms more, a fifteenth of a 1,000-page run.
seconds() {
  local start end
  sync
  start=${EPOCHREALTIME/[.,]/}
  "$@" >/dev/null 2>&1 || true
  end=${EPOCHREALTIME/[.,]/}
  awk -v us=$((end - start)) 'BEGIN { printf "%.4f\n", us / 1e6 }'
}

# "steal total" jiffies of the whole machine so far: on a virtual machine, steal is the time its
# cores were ready to run but the host ran something else, which slows a run that uses both cores.
steal_and_total() { awk '/^cpu / { t = 0; for (i = 2; i <= NF; i++) t += $i; print $9, t }' /proc/stat; }

# The percentage of the machine's time stolen between two readings of steal_and_total.
steal_percent() { awk -v a="$1" -v b="$2" 'BEGIN { split(a, x, " "); split(b, y, " "); printf "%.0f", 100 * (y[1] - x[1]) / (y[2] - x[2]) }'; }

# The median of the numbers on standard input, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Makes sure `$1` holds the generated project of `$2` pages (written once, then reused).
ensure_corpus() {
  if [ ! -d "$1/proj" ]; then
    rm -rf "$1"
    python3 "$repo/bench/make_corpus.py" "$1" --pages "$2"
  fi
}
