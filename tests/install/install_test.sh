#!/usr/bin/env bash
# install_test.sh BUILD_DIR: a copy of the installed tree whose program folders
# are read-only converts a clip with the settings, the log and the temporary
# files in the XDG folders of a temporary home, and leaves the tree untouched.
# The programs find their helper from their own location, with a bare
# environment (no LD_LIBRARY_PATH). The desktop entry passes the validator.
set -euo pipefail
build="$1"
work="$(mktemp -d "${TMPDIR:-/tmp}/velmora-install.XXXXXX")"
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
tree="$work/root/usr"
[ -x "$tree/bin/velmora" ] && [ -x "$tree/bin/velmora-cli" ] && [ -x "$tree/bin/kvxinspect" ] ||
    fail "the programs are not in bin"
private="$(dirname "$(find "$tree/lib" -name velmora-worker)")"
[ ! -e "$tree/bin/velmora-worker" ] && [ -x "$private/velmora-worker" ] && [ -f "$private/libTarvikDll.so" ] ||
    fail "the helper and the library are not together in a folder under lib"
for size in 16 32 48 256; do
    [ -s "$tree/share/icons/hicolor/${size}x$size/apps/velmora.png" ] || fail "no $size-pixel icon"
done
desktop-file-validate "$tree/share/applications/velmora.desktop"

# Root writes where the permission bits say no: the installed layout, not
# the bits, keeps the program out of its folder, and the listing proves it.
chmod -R a-w "$tree"
listing() { (cd "$tree" && find . -printf '%p %m %s %T@\n' | sort); }
before="$(listing)"

home="$work/home"
mkdir -p "$home/.config/Velmora" "$work/run" "$work/out"
# The output folder comes from the settings file in the XDG place.
printf '[Output Directory]\nOutputText=%s/\n' "$work/out" >"$home/.config/Velmora/Velmora.ini"
ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=frequency=440 -t 2 \
    -c:v mpeg4 -c:a mp2 "$work/clip.avi"

# A preset that comes with the program reaches the user's Presets folder.
# Only the sanitizers' settings (of a sanitizer build) come through.
keep=()
for name in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
    [ -n "${!name:-}" ] && keep+=("$name=${!name}")
done
env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$work/run" "${keep[@]}" \
    "$tree/bin/velmora-cli" --preset "Small file" "$work/clip.avi" >"$work/cli.out" 2>&1 ||
    { cat "$work/cli.out"; fail "velmora-cli did not convert"; }
[ -f "$home/.config/Velmora/Presets/Small file.ini" ] || fail "the shipped presets were not copied"
"$tree/bin/kvxinspect" "$work/out/clip.kvx" >/dev/null || fail "no valid clip.kvx in the settings' output folder"
grep -q "Done" "$home/.local/state/Velmora/Velmora.log" || fail "the log is not in XDG_STATE_HOME"
[ -d "$work/run/Velmora" ] && [ -z "$(ls -A "$work/run/Velmora")" ] ||
    fail "the temporary folder is not under XDG_RUNTIME_DIR, or not emptied"
[ "$(listing)" = "$before" ] || fail "the installed tree changed"
echo "installed copy converted from a read-only folder"
