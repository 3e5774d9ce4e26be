#!/usr/bin/env bash
# fetch_trees.sh SPEC...: the Debian packages SPEC (lib.sh's spec: NAME for
# i386, NAME:ARCH otherwise) fetched and unpacked into the package cache as
# the environment's build does; prints each one's unpacked tree, one a line.
# The agent's build takes headers and libraries from here.
set -euo pipefail
lib_dir="$(cd "$(dirname "$0")" && pwd)"
. "$lib_dir/lib.sh"
mkdir -p "$cache/debs" "$cache/trees"
learn "$@"
for spec in "$@"; do
  fetch "$spec"
  echo "${tree_of[$(canonical "$spec")]}"
done
