#!/usr/bin/env bash
# Times `orvello check` against a full `orvello` run on the same project.
#
#   bench/check_benchmark.sh [--pairs P] [--sizes "1000 10000 100000"] [--dir FOLDER]
#
# For each size N it generates the benchmark project of N pages (bench/make_corpus.py, once, then
# reused), runs one warm-up of each command, then P pairs alternating which goes first; every
# full run starts from a removed site/ and a `sync`, and so does every check. It prints the
# medians, the median of the pairwise ratios check / run, and the peak resident memory of each.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=timing.sh
source "$repo/bench/timing.sh"
pairs=5
sizes="1000 10000 100000"
dir="$repo/build/bench"
while [ $# -gt 0 ]; do
  case "$1" in
    --pairs) pairs=$2; shift 2 ;;
    --sizes) sizes=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    *) echo "usage: $0 [--pairs P] [--sizes \"N ...\"] [--dir FOLDER]" >&2; exit 2 ;;
  esac
done

orvello="$repo/build/orvello"
cmake --build "$repo/build" --target orvello >/dev/null
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }

peak_mib() {
  /usr/bin/time -f %M -o rss "$@" >/dev/null 2>&1 || true
  awk '{ kib = $1 } END { printf "%.1f", kib / 1024 }' rss
}

run_full() { rm -rf site; seconds "$orvello"; }
run_check() { rm -rf site; seconds "$orvello" check; }

echo "# $(date -u +%Y-%m-%d) on $(nproc) cores, $(uname -sr)"
echo
echo "| pages | run median (s) | check median (s) | ratio check / run | run peak RSS (MiB) | check peak RSS (MiB) | findings |"
echo "|---:|---:|---:|---:|---:|---:|---:|"
mkdir -p "$dir"
for n in $sizes; do
  corpus="$dir/n$n"
  ensure_corpus "$corpus" "$n"
  cd "$corpus"
  run_full >/dev/null
  run_check >/dev/null
  : >times
  for ((pair = 0; pair < pairs; pair++)); do
    if ((pair % 2 == 0)); then
      r=$(run_full); c=$(run_check)
    else
      c=$(run_check); r=$(run_full)
    fi
    echo "$r $c" >>times
  done
  rm -rf site
  run_rss=$(peak_mib "$orvello")
  rm -rf site
  check_rss=$(peak_mib "$orvello" check)
  findings=$("$orvello" check | tail -1 || true)
  rm -f rss
  printf "| %s | %.3f | %.3f | %.2f | %s | %s | %s |\n" "$n" "$(awk '{ print $1 }' times | median)" \
    "$(awk '{ print $2 }' times | median)" "$(awk '{ print $2 / $1 }' times | median)" \
    "$run_rss" "$check_rss" "$findings"
  cd - >/dev/null
done
