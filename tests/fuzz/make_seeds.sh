#!/usr/bin/env bash
# Writes the fuzzers' seed inputs into OUT/settings, OUT/kvx and OUT/script:
# the test data's scripts and settings files, and .kvx files made here
# (nothing binary is kept in the source tree).
#
#   make_seeds.sh OUT
set -euo pipefail

if [[ $# -ne 1 ]]; then
    echo "usage: $0 OUT" >&2
    exit 2
fi
out=$1
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

# --- .kvx files -----------------------------------------------------------

# Writes the 36-byte header for audio length A, video length V, frame count F,
# sample rate R and frame rate P: magic, eight values byte-interleaved, every
# byte after the magic the running sum of all plain bytes up to it.
kvx_header() {
    local audio=$1 video=$2 frames=$3 rate=$4 fps=$5
    local -a fields=("$video" "$audio" $((audio + 36)) 36 "$frames" "$rate" $((fps * 256)) 0)
    local -a plain=(0x4B 0x56 0x58 0x30)
    local k j
    for k in 0 1 2 3; do
        for j in 0 1 2 3 4 5 6 7; do
            plain+=($(((fields[j] >> (8 * k)) & 0xFF)))
        done
    done
    local sum=0 i byte
    for i in "${!plain[@]}"; do
        sum=$(((sum + plain[i]) & 0xFF))
        byte=$((i < 4 ? plain[i] : sum))
        printf "\\x$(printf '%02x' "$byte")"
    done
}

# A header, 10 bytes of audio (an MPEG audio sync) and 20 of video (an MPEG-1
# sequence start and end).
{
    kvx_header 10 20 3 32000 15
    printf '\xff\xfd\x00\x00\x00\x00\x00\x00\x00\x00'
    printf '\x00\x00\x01\xb3\x10\x00\xc0\x13\xff\xff\xe0\x18\x00\x00\x00\x00\x00\x00\x01\xb7'
} >"$out/kvx/small.kvx"

# The same file cut inside its header.
head -c 20 "$out/kvx/small.kvx" >"$out/kvx/truncated.kvx"

# No streams at all.
kvx_header 0 0 0 44100 1 >"$out/kvx/empty_streams.kvx"

echo "seeds written to $out"
