#!/usr/bin/env bash
# Build the site and copy it to the host.
set -euo pipefail

host=${HOST:-example.org}
target="/var/www/site"
count=0

usage() {
    echo "usage: $0 [--dry-run]" >&2
    exit 2
}

dry_run=false
while [ $# -gt 0 ]; do
    case "$1" in
        --dry-run) dry_run=true; shift ;;
        *) usage ;;
    esac
done

orvello build
for page in site/*.htm; do
    count=$((count + 1))
done
echo "built $count pages"
if $dry_run; then
    rsync -n -a --delete site/ "$host:$target/"
else
    rsync -a --delete site/ "$host:$target/"
fi
