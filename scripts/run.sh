#!/usr/bin/env bash
# Installs what is missing, builds, and starts the converter.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"
exec "${BUILD_DIR:-$here/build}/bin/velmora"
