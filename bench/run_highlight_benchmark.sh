#!/usr/bin/env bash
# What colouring listings costs: full runs over the same N pages (default 10,000), each with a
# 30-line listing in C, C++, Python, shell, JavaScript, HTML or CSS in turn: plain (no settings,
# as today), framed (an orvello.toml beside proj/, listings not coloured), coloured (the settings
# and @@language on every listing), and Hugo's default build of the same pages as Markdown, whose
# fences name the language (Hugo colours them with Chroma).
#
#   bench/run_highlight_benchmark.sh [--runs R] [--pages N] [--dir FOLDER]
#
# Prints the median wall time of R runs of each (after one warm-up), the user and system time and
# the peak RSS of one more run, and the ratios that matter: coloured against plain, and Hugo
# against coloured.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=timing.sh
source "$repo/bench/timing.sh"
runs=5
pages=10000
dir=/dev/shm/orvello-highlight-bench
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --pages) pages=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    *) echo "usage: $0 [--runs R] [--pages N] [--dir FOLDER]" >&2; exit 2 ;;
  esac
done
orvello="$repo/build/orvello"
cmake --build "$repo/build" --target orvello >/dev/null
command -v hugo >/dev/null || { echo "needs hugo (apt-get install hugo)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }

corpus() {  # folder, extra arguments of make_corpus.py
  local folder=$1
  shift
  [ -d "$folder" ] || python3 "$repo/bench/make_corpus.py" "$folder" --pages "$pages" --languages "$@"
}
mkdir -p "$dir"
corpus "$dir/plain"
corpus "$dir/framed" --settings
corpus "$dir/coloured" --settings --highlight
[ -d "$dir/hugo" ] ||
  python3 "$repo/bench/make_corpus.py" unused --pages "$pages" --languages --highlight --markdown "$dir/hugo"

run_plain() { rm -rf "$dir/plain/site"; (cd "$dir/plain" && seconds "$orvello"); }
run_framed() { rm -rf "$dir/framed/site"; (cd "$dir/framed" && seconds "$orvello"); }
run_coloured() { rm -rf "$dir/coloured/site"; (cd "$dir/coloured" && seconds "$orvello"); }
run_hugo() { rm -rf "$dir/hugo/public"; seconds hugo --quiet --source "$dir/hugo"; }
# "user system peak-RSS-KiB" of one more run.
usage_of() {
  sync
  /usr/bin/time -f "%U %S %M" "$@" 2>&1 >/dev/null | tail -1
}

echo "# $(date -u +%Y-%m-%d) on $(nproc) cores, $pages pages, $runs runs each, in $dir"
echo
echo "| build | median (s) | user / sys (s) | peak RSS (MiB) |"
echo "|---|---:|---:|---:|"
for what in plain framed coloured hugo; do
  "run_$what" >/dev/null
  for ((i = 0; i < runs; i++)); do "run_$what"; done | median >"$dir/$what.median"
  case $what in
    hugo) rm -rf "$dir/hugo/public"; usage=$(usage_of hugo --quiet --source "$dir/hugo") ;;
    *) rm -rf "$dir/$what/site"; usage=$(cd "$dir/$what" && usage_of "$orvello") ;;
  esac
  read -r user sys rss <<<"$usage"
  printf "| %s | %.3f | %s / %s | %.1f |\n" "$what" "$(cat "$dir/$what.median")" "$user" "$sys" \
    "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')"
done
plain=$(cat "$dir/plain.median")
framed=$(cat "$dir/framed.median")
coloured=$(cat "$dir/coloured.median")
hugo=$(cat "$dir/hugo.median")
echo
awk -v p="$plain" -v f="$framed" -v c="$coloured" -v h="$hugo" 'BEGIN {
  printf "coloured / plain: %.2f (at most 2)\ncoloured / framed: %.2f\n", c / p, c / f
  printf "hugo / coloured: %.1f (at least 20)\n", h / c }'
