#!/usr/bin/env bash
# Compares what two builds of the encoder library make of the same inputs:
# the MD5 of every frame and of the whole sound (bench_frames), for three
# scripts per input - the converter's chain (source, resize to 256 wide,
# resampling), the source alone, and the source trimmed to frames 300..600
# (which starts with a seek). Prints "same" or "DIFFERENT" per input and
# script; exits non-zero when any differs.
#
# usage: bench/engine/compare_frames.sh OLD_BENCH_FRAMES NEW_BENCH_FRAMES FILE...
#   (bench_frames is built with: cmake --build BUILD --target bench_frames)
set -euo pipefail
old=$1 new=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for f in "$@"; do
    n=$(basename "$f")
    src="DirectShowSource(\"$f\", fps=15, convertfps=true)"
    printf 'a = %s\r\naa = BicubicResize(a,256,256*Height(a)/Width(a))\r\nResampleAudio(aa,32000)\r\n' "$src" > "$work/chain.avs"
    printf '%s\r\n' "$src" > "$work/source.avs"
    printf 'Trim(%s, 300, 600)\r\n' "$src" > "$work/trim.avs"
    for k in chain source trim; do
        "$old" "$work/$k.avs" > "$work/old" 2>&1 || true
        "$new" "$work/$k.avs" > "$work/new" 2>&1 || true
        if cmp -s "$work/old" "$work/new"; then
            echo "$n $k: same ($(grep -vc audio "$work/new") frames)"
        else
            echo "$n $k: DIFFERENT ($(diff "$work/old" "$work/new" | grep -c '^<') lines)"
            status=1
        fi
    done
done
exit $status
