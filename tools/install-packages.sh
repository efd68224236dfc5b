#!/usr/bin/env bash
# Installs with apt-get whichever of a purpose's Debian packages are missing
# (through sudo when not root). The purposes and their packages are listed
# in tools/packages.txt, and only there. Packages of the i386 architecture
# ("name:i386") make dpkg learn that architecture first.
# Usage: tools/install-packages.sh PURPOSE...
#        tools/install-packages.sh --list PURPOSE...   (print the packages)
set -euo pipefail
table="$(dirname "$0")/packages.txt"
list=false
if [ "${1:-}" = --list ]; then list=true; shift; fi
(($#)) || { echo "usage: tools/install-packages.sh [--list] PURPOSE... (purposes: $(sed -n 's/^\([a-z-]*\):.*/\1/p' "$table" | tr '\n' ' '))" >&2; exit 2; }

wanted=()
for purpose in "$@"; do
    line=$(sed -n "s/^$purpose:[[:space:]]*//p" "$table")
    [ -n "$line" ] || { echo "install-packages: no purpose '$purpose' in $table" >&2; exit 2; }
    read -ra names <<<"$line"
    wanted+=("${names[@]}")
done
if $list; then printf '%s\n' "${wanted[@]}" | awk '!seen[$0]++' | tr '\n' ' ' | sed 's/ $/\n/'; exit 0; fi

missing=()
for p in $(printf '%s\n' "${wanted[@]}" | awk '!seen[$0]++'); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0
echo "== installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}" </dev/null
