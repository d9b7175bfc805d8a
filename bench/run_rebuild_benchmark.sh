#!/usr/bin/env bash
# Times incremental rebuilds: for each size N, the time from a saved edit of one page (outside
# every block, so no carried state changes) to the rebuilt page on disk, median and 95th
# percentile over the edits, the pages compiled per edit and the remembered state's memory per
# page.
#
#   bench/run_rebuild_benchmark.sh [--edits E] [--sizes "10000 100000"] [--dir FOLDER] [--findings]
#
# With --findings, each rebuild also finds the check findings of the pages it reaches, as serve
# does (the remembered bytes then include the kept findings).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
edits=50
sizes="10000 100000"
dir="$repo/build/bench"
findings=""
while [ $# -gt 0 ]; do
  case "$1" in
    --edits) edits=$2; shift 2 ;;
    --sizes) sizes=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    --findings) findings=findings; shift ;;
    *) echo "usage: $0 [--edits E] [--sizes \"N ...\"] [--dir FOLDER] [--findings]" >&2; exit 2 ;;
  esac
done

cmake --build "$repo/build" --target rebuild_bench >/dev/null
echo "# $(date -u +%Y-%m-%d) on $(nproc) cores, $(uname -sr)"
echo
echo "| pages | edits | median (ms) | p95 (ms) | pages compiled per edit | remembered bytes per page |"
echo "|---:|---:|---:|---:|---:|---:|"
mkdir -p "$dir"
for n in $sizes; do
  corpus="$dir/rebuild-n$n"
  # A fresh copy each time: the edits append to the pages.
  rm -rf "$corpus"
  python3 "$repo/bench/make_corpus.py" "$corpus" --pages "$n"
  sleep 1  # files written a moment ago would be compiled again whatever their stamp
  "$repo/build/bench/rebuild_bench" "$corpus" "$edits" $findings
  rm -rf "$corpus"
done
