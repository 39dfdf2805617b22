#!/usr/bin/env bash
# Installs the Debian packages listed in debian-packages.txt that are missing.
# Needs root (or sudo) only when something is missing. With --check, only
# lists what is missing (nothing when all is there) and exits 1 if anything is.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
mapfile -t wanted < <(grep -v '^\s*#' "${VELMORA_PACKAGES_FILE:-$here/debian-packages.txt}" | sed '/^\s*$/d')

# What is installed, and what installed packages provide, as apt sees it: a
# name that another installed package provides needs nothing more.
have="$(dpkg-query -W -f='${db:Status-Abbrev} ${Package} ${Provides}\n' 2>/dev/null |
    awk '$1 == "ii" { print $2; for (i = 3; i <= NF; i++) { n = $i; sub(/[,:].*/, "", n); if (n !~ /^[(=<>]/ && n !~ /\)$/) print n } }' |
    sort -u)"
missing=()
for p in "${wanted[@]}"; do
    grep -qxF "$p" <<<"$have" || missing+=("$p")
done
if [ "${1:-}" = "--check" ]; then
    [ ${#missing[@]} -eq 0 ] || { printf '%s\n' "${missing[@]}"; exit 1; }
    exit 0
fi
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
