#!/usr/bin/env bash
# Times full orvello runs against `cp -a` of the same project on the same file system.
#
#   bench/run_benchmark.sh [--pairs P] [--sizes "1000 10000 100000"] [--dir FOLDER] [--tmpfs] [--peer]
#                          [--cores LIST]
#
# For each size N it generates a project of N pages and N pictures (once, then reused), runs one
# warm-up of each command, then P pairs alternating which command goes first. Every timed command
# starts from a removed output folder and a `sync`, so that writing back the previous run's files
# is not charged to the next one. It prints medians, the median of the pairwise ratios, time per
# page and orvello's peak resident memory, the user and system time of one more run of each
# command with the ratio of their CPU times (user + system), and the share of the machine's time that the host took (steal) while the pairs ran: on
# a virtual machine it slows orvello, which uses every core, more than `cp -a`. With --tmpfs the
# projects live in memory (/dev/shm), so that the disk does not decide; with --peer it also times
# `hugo` (Debian's package) on the same content written as Markdown. With --cores LIST orvello
# runs on those cores only (taskset), for comparing a run on one core with a run on two.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=timing.sh
source "$repo/bench/timing.sh"
pairs=5
sizes="1000 10000 100000"
dir="$repo/build/bench"
peer=false
cores=""
while [ $# -gt 0 ]; do
  case "$1" in
    --pairs) pairs=$2; shift 2 ;;
    --sizes) sizes=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    --tmpfs) dir=/dev/shm/orvello-bench; shift ;;
    --peer) peer=true; shift ;;
    --cores) cores=$2; shift 2 ;;
    *) echo "usage: $0 [--pairs P] [--sizes \"N ...\"] [--dir FOLDER] [--tmpfs] [--peer] [--cores LIST]" >&2; exit 2 ;;
  esac
done

orvello=("$repo/build/orvello")
if [ -n "$cores" ]; then orvello=(taskset -c "$cores" "$repo/build/orvello"); fi
cmake --build "$repo/build" --target orvello >/dev/null
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
if $peer && ! command -v hugo >/dev/null; then
  echo "--peer needs hugo (apt-get install hugo)" >&2
  exit 1
fi

# "user system" seconds of one run of a command; its output is discarded.
cpu_times() {
  sync
  /usr/bin/time -f "%U %S" "$@" 2>&1 >/dev/null | tail -1
}


run_orvello() { rm -rf site; seconds "${orvello[@]}"; }
run_copy() { rm -rf copy; seconds cp -a proj copy; }
run_peer() { rm -rf hugo/public; seconds hugo --quiet --source hugo; }

echo "# $(date -u +%Y-%m-%d) on $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(uname -sr), $(df -T "$dir" 2>/dev/null | awk 'NR == 2 { print $2 }' || echo '?')"
echo
echo "| pages | files | orvello median (s) | cp -a median (s) | ratio (median of pairs) | ms per page | peak RSS (MiB) | orvello user / sys (s) | cp -a user / sys (s) | CPU ratio | steal (%) |$($peer && echo ' hugo median (s) |')"
echo "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|$($peer && echo '---:|')"
mkdir -p "$dir"
for n in $sizes; do
  corpus="$dir/n$n"
  ensure_corpus "$corpus" "$n"
  if $peer && [ ! -d "$corpus/hugo" ]; then
    python3 "$repo/bench/make_corpus.py" unused --pages "$n" --markdown "$corpus/hugo"
  fi
  cd "$corpus"
  run_orvello >/dev/null
  run_copy >/dev/null
  $peer && run_peer >/dev/null
  : >times
  steal_before=$(steal_and_total)
  for ((pair = 0; pair < pairs; pair++)); do
    if ((pair % 2 == 0)); then
      o=$(run_orvello); c=$(run_copy)
    else
      c=$(run_copy); o=$(run_orvello)
    fi
    p=$($peer && run_peer || echo 0)
    echo "$o $c $p" >>times
  done
  steal=$(steal_percent "$steal_before" "$(steal_and_total)")
  rm -rf site
  sync
  rss=$(/usr/bin/time -f %M "${orvello[@]}" 2>&1 >/dev/null | tail -1)
  rm -rf site copy
  o_cpu=$(cpu_times "${orvello[@]}")
  c_cpu=$(cpu_times cp -a proj copy)
  files=$(find proj -type f | wc -l)
  o_median=$(awk '{ print $1 }' times | median)
  c_median=$(awk '{ print $2 }' times | median)
  ratio=$(awk '{ print $1 / $2 }' times | median)
  per_page=$(awk -v t="$o_median" -v n="$n" 'BEGIN { printf "%.4f", t * 1000 / n }')
  cpu_ratio=$(awk -v o="$o_cpu" -v c="$c_cpu" 'BEGIN { split(o, x, " "); split(c, y, " "); s = y[1] + y[2]; printf "%.2f", (s > 0 ? (x[1] + x[2]) / s : 0) }')
  printf "| %s | %s | %.3f | %.3f | %.2f | %s | %.1f | %s | %s | %s | %s |" "$n" "$files" "$o_median" "$c_median" \
    "$ratio" "$per_page" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')" "${o_cpu/ / \/ }" "${c_cpu/ / \/ }" "$cpu_ratio" "$steal"
  $peer && printf " %.3f |" "$(awk '{ print $3 }' times | median)"
  echo
  rm -rf site copy
  $peer && rm -rf hugo/public
  cd - >/dev/null
done
