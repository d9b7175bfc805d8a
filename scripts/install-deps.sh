#!/usr/bin/env bash
# Installs the Debian packages that building, testing and packaging Orvello need. Runs as root or
# through sudo; CI runs it too, so the line the README shows is the line CI runs.
set -euo pipefail

as_root() {
  if [[ $(id -u) == 0 ]]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    echo "install-deps.sh: run it as root, or install sudo" >&2
    exit 1
  fi
}
apt_install() {
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$@"
}

as_root apt-get update
apt_install ca-certificates cmake make g++ googletest libgtest-dev libgmock-dev clang-format \
  util-linux chromium nodejs clang libclang-rt-14-dev libcli11-dev libmicrohttpd-dev mandoc \
  libtomlplusplus-dev nlohmann-json3-dev pkg-config dpkg-dev file libmd4c-dev \
  libkf5syntaxhighlighting-dev
# npm for the browser tests' packages. A Node.js package from outside Debian brings its own npm and
# conflicts with Debian's, so Debian's is installed only when there is no npm yet.
if ! command -v npm >/dev/null; then
  apt_install npm
fi
