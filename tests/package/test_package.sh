#!/usr/bin/env bash
# Builds the Debian package in build-package/ (never build/), installs it, uses the installed
# program as a user would, then purges it, leaving the machine as it found it. Runs as root.
set -euo pipefail
cd "$(dirname "$0")/../.."

fail() {
  echo "package test: $*" >&2
  exit 1
}
installed() {
  [[ $(dpkg-query -W -f='${Status}' orvello 2>/dev/null) == "install ok installed" ]]
}

installed && fail "orvello is installed already; remove it before running this test"
rm -f build-package/orvello_*.deb
cmake --workflow --preset package
debs=(build-package/orvello_*.deb)
[[ ${#debs[@]} == 1 && -f ${debs[0]} ]] || fail "expected one package, found: ${debs[*]}"
deb=${debs[0]}
expected_name="orvello_$(dpkg-deb -f "$deb" Version)_$(dpkg --print-architecture).deb"
[[ $(basename "$deb") == "$expected_name" ]] || fail "$deb is not named $expected_name"

scratch=$(mktemp -d)
cleanup() {
  if installed; then apt-get purge -y orvello; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "./$deb"

# Every shared library the program links directly, and the HTTP library it opens to serve, must
# come from a package it depends on (the libraries those load are their packages' business).
depends=$(dpkg-query -W -f='${Depends}' orvello | sed 's/([^)]*)//g; s/[,|]/\n/g; s/ //g')
depended_on() {
  local owner
  owner=$(dpkg -S "$1" 2>/dev/null || dpkg -S "/usr$1") || fail "no package has $1"
  grep -qxF "${owner%%:*}" <<<"$depends" || fail "Depends ($depends) lacks ${owner%%:*}"
}
loaded=$(ldd /usr/bin/orvello)
while read -r needed; do
  depended_on "$(awk -v name="$needed" '$1 == name { print $3 }' <<<"$loaded")"
done < <(readelf -d /usr/bin/orvello | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
mkdir -p "$scratch/served/proj"
(cd "$scratch/served" && exec orvello serve --port 0 >serve.log 2>&1) &
server=$!
for _ in $(seq 100); do
  grep -qs "^Serving" "$scratch/served/serve.log" && break
  sleep 0.1
done
http_library=$(awk '/libmicrohttpd/ { print $6; exit }' "/proc/$server/maps" 2>/dev/null || true)
kill "$server" 2>/dev/null || true
wait "$server" || true
[[ -n $http_library ]] || fail "orvello serve did not serve: $(cat "$scratch/served/serve.log")"
depended_on "$http_library"

[[ $(command -v orvello) == /usr/bin/orvello ]] || fail "orvello is not /usr/bin/orvello"
[[ $(orvello --version) == $(build-package/orvello --version) ]] || fail "wrong --version"
echo "installed: $(orvello --version)"

# The installed program builds the showcase exactly as the program just built does.
build_showcase() {
  mkdir "$scratch/$1" && cp -r examples/showcase "$scratch/$1/"
  (cd "$scratch/$1/showcase" && SOURCE_DATE_EPOCH=1700000000 "$2" >/dev/null)
}
build_showcase installed orvello
build_showcase built "$PWD/build-package/orvello"
grep -q "</html>" "$scratch/installed/showcase/site/index.htm" || fail "no showcase index.htm"
diff -r "$scratch/installed/showcase/site" "$scratch/built/showcase/site"

# The installed program finds its highlighting module, which only a coloured listing loads.
mkdir -p "$scratch/coloured/proj" && : >"$scratch/coloured/orvello.toml"
printf '@code\n@@language c\nint x;\n@end_code\n' >"$scratch/coloured/proj/index.orv"
(cd "$scratch/coloured" && orvello >/dev/null)
grep -q '<span class="hl-type">int</span>' "$scratch/coloured/site/index.htm" ||
  fail "the installed program colours no listing"

mandoc -T lint -W warning /usr/share/man/man1/orvello.1.gz
cmp LICENSE /usr/share/doc/orvello/copyright
# shellcheck disable=SC1091
completion=$(source /usr/share/bash-completion/completions/orvello &&
  COMP_WORDS=(orvello serve --n) COMP_CWORD=2 && _orvello && echo "${COMPREPLY[*]}")
[[ $completion == --no-reload ]] || fail "completion of 'serve --n' gave '$completion'"

apt-get purge -y orvello
installed && fail "orvello is still installed"
[[ ! -e /usr/bin/orvello && ! -e /usr/share/man/man1/orvello.1.gz && ! -e /usr/lib/orvello ]] ||
  fail "files left behind"
echo "package test: passed"
