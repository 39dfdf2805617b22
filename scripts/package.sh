#!/usr/bin/env bash
# Builds the Debian package: build/package/velmora_<version>_<arch>.deb.
# Installs what is missing first, as the other scripts do; the package's
# dependencies are computed by dpkg-shlibdeps (from dpkg-dev).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$here/build}"
"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$build"
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target velmora velmora-cli velmora-worker kvxinspect TarvikDll \
    velmora_install_files
cd "$build"
cpack -G DEB --config "$build/CPackConfig.cmake"
ls "$build"/package/*.deb
