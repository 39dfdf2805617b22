#!/usr/bin/env bash
# Writes the fuzzers' seed inputs into OUT/settings, OUT/kvx and OUT/script:
# the test data's scripts and settings files, and three .kvx files.
#
#   make_seeds.sh OUT
set -euo pipefail

out=${1:?usage: make_seeds.sh OUT}
mkdir -p "$out/settings" "$out/kvx" "$out/script"

data="$(cd "$(dirname "$0")/../data" && pwd)"

# --- Scripts: the writer's golden scripts (with CR LF, as it writes them)
# and the language's own cases, plus forms the writer never makes.
for f in "$data"/scripts/*.avs; do
    grep -v '^#' "$f" | sed 's/$/\r/' >"$out/script/$(basename "$f")"
done
cp "$data"/lang/*.avs "$out/script/"
printf '%s\n' 'DirectShowSource("""/home/user/a "quoted" name.avi""", fps=15.5)' \
    'FadeIO(30, color=$FF00FF).Reverse' 'x = -(7 % 3) + 2.5 * .5' 'Trim(0, x)' >"$out/script/handwritten.avs"

# --- Settings: the defaults and every key changed, as the program writes
# them; the same in spellings the reader must take (CR LF, other case,
# spaces around "=", a comment, an unknown key); a load that stops early.
cp "$data"/settings/*.ini "$out/settings/"
sed -e 's/$/\r/' -e 's/^FRCombo=/frcombo = /' -e 's/^\[Parameter\]/[PARAMETER]/' \
    -e 's/^\[Others\]/; kept as it is\n[Others]\nUnknownKey=1/' "$data/settings/changed.ini" >"$out/settings/spelling.ini"
sed 's/^FRCombo=9/FRCombo=abc/' "$data/settings/changed.ini" >"$out/settings/stops.ini"

# --- .kvx files: a header as the program's writer makes it (audio 10 bytes,
# video 20, 3 frames, 32000 Hz, 15 fps) before 10 bytes of audio (an MPEG
# audio sync) and 20 of video (an MPEG-1 sequence start and end); the same
# cut inside its header; a header without streams (44100 Hz, 1 fps). The
# harness compares each consistent header with the writer's own.
hex() { printf "$(sed 's/../\\x&/g' <<<"$1")"; }
hex 4b5658303d4775999c9c9c9c9c9c9c9c9c19282828282828282828282828282828282828fffd0000000000000000000001b31000c013ffffe01800000000000001b7 >"$out/kvx/small.kvx"
head -c 20 "$out/kvx/small.kvx" >"$out/kvx/truncated.kvx"
hex 4b56583029294d7171b5b5b5b5b5b5b5b561626262626262626262626262626262626262 >"$out/kvx/empty_streams.kvx"

echo "seeds written to $out"
