#!/usr/bin/env bash
# The set-up scripts ask for root only when a package is really missing: on
# this machine (built and tested, so everything is there) the check finds
# nothing, a name that an installed package provides counts as installed,
# and an unknown one is reported.
set -u
here="$(cd "$(dirname "$0")/../.." && pwd)"
status=0
out="$("$here/scripts/install-deps.sh" --check)" || { echo "missing on this machine: $out"; status=1; }
list="$(mktemp)"
trap 'rm -f "$list"' EXIT
printf '%s\n' qt6-base-dev libqt6svg6-dev velmora-no-such-package >"$list"
out="$(VELMORA_PACKAGES_FILE="$list" "$here/scripts/install-deps.sh" --check)"
[ $? -eq 1 ] && [ "$out" = "velmora-no-such-package" ] || { echo "expected only the unknown package, got: $out"; status=1; }
exit $status
