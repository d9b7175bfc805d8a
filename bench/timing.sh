# Shared by the benchmark scripts: timing, medians and the generated projects. Source it.

# Seconds taken by a command, to the nanosecond, after a `sync` so that the write-back of earlier
# files is not charged to it; its output is discarded, and so is its exit status (a check with
# findings ends with status 1).
seconds() {
  local start end
  sync
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.4f\n", ns / 1e9 }'
}

# The median of the numbers on standard input, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Makes sure `$1` holds the generated project of `$2` pages (written once, then reused).
ensure_corpus() {
  if [ ! -d "$1/proj" ]; then
    rm -rf "$1"
    python3 "$repo/bench/make_corpus.py" "$1" --pages "$2"
  fi
}
