#!/usr/bin/env bash
# Times velmora-cli converting a batch of 8 short clips, one at a time
# (--jobs 1) and two at a time (--jobs 2), against the ffmpeg command line
# making the same two streams (MPEG-1 video 256 pixels wide at 15 fps and
# constant rate, MPEG audio Layer II at 32 kHz) of the same 8 clips one after
# another and two at a time. One run, the four sides taken in turn three
# times so that other load falls on all alike; prints the medians and the
# ratios (velmora-cli time / ffmpeg time; below 1.0 means velmora-cli is
# faster).
#
# usage: bench/cli/run.sh [SIDE]
#   no SIDE   the whole comparison
#   SIDE      one run of one side, for timing it with another tool:
#             velmora-1, velmora-2, ffmpeg-1 or ffmpeg-2
#   BUILD_DIR the build with velmora-cli (default: the checkout's build/)
#   WORK=DIR  where the clips are made once and kept, and the outputs go
#             (default /tmp/velmora-bench-cli)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${BUILD_DIR:-$root/build}
work=${WORK:-/tmp/velmora-bench-cli}
cli=$build/bin/velmora-cli
clips=8
length=5

# The converter's job: 15 fps, 256 kbit/s (427 kbit/s in the 25 fps stream),
# 128 kbit/s audio at 32000 Hz, Normal Quality, no colour or sound changes.
fps=15
vkbps=427
akbps=128
rate=32000
cli_options=(--frame-rate $fps --video-bitrate 256 --audio-bitrate $akbps --sample-rate $rate --mode normal
    --hue 0 --saturation 1 --brightness 0 --contrast 1 --sharpness 0 --volume 100 --delay 0 --channel stereo
    --start 0 --end 0 --no-reverse --no-auto-crop --audio "" --subtitles "" --logo-text "" --intro-video ""
    --intro-image "")

ff() { ffmpeg -nostdin -v error -y "$@"; }

make_clips() {
    mkdir -p "$work/clips"
    for i in $(seq 1 $clips); do
        local clip=$work/clips/clip$i.mp4
        [ -f "$clip" ] && continue
        # Each clip its own pictures and tone, encoded as phones and cameras do.
        ff -f lavfi -i "testsrc2=size=640x360:rate=25:duration=$length" \
            -f lavfi -i "sine=frequency=$((220 * i)):sample_rate=48000:duration=$length" -ac 2 \
            -vf "hue=h=$((i * 40))" -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k "$clip"
    done
}

# The same two streams from one ffmpeg run per clip.
ffmpeg_one() { # clip output-folder
    local out=$2/$(basename "$1" .mp4)
    ff -i "$1" -map 0:v -vf "fps=$fps:round=up,scale=256:-2:flags=bicubic,setpts=N/25/TB" -r 25 \
        -c:v mpeg1video -bf 0 -g 15 -b:v ${vkbps}k -minrate ${vkbps}k -maxrate ${vkbps}k \
        -bufsize $((vkbps * 1000 / 2)) -mbd bits -subcmp satd "$out.m1v" \
        -map 0:a -ar $rate -ac 2 -c:a mp2 -b:a ${akbps}k "$out.mp2"
}

run_side() { # side
    local out=$work/out/$1
    rm -rf "$out" && mkdir -p "$out"
    case $1 in
    velmora-1 | velmora-2)
        "$cli" --jobs "${1#velmora-}" "${cli_options[@]}" -o "$out" "$work"/clips/clip*.mp4 >/dev/null ;;
    ffmpeg-1 | ffmpeg-2)
        export -f ff ffmpeg_one
        export fps vkbps akbps rate
        printf '%s\n' "$work"/clips/clip*.mp4 | xargs -P "${1#ffmpeg-}" -I{} bash -c 'ffmpeg_one "$1" "$2"' _ {} "$out" ;;
    *)
        echo "unknown side $1 (velmora-1, velmora-2, ffmpeg-1, ffmpeg-2)" >&2
        exit 2 ;;
    esac
}

seconds_of() { # side
    local t0 t1
    t0=$(date +%s.%N)
    run_side "$1"
    t1=$(date +%s.%N)
    echo "$t0 $t1" | awk '{printf "%.3f", $2 - $1}'
}
median() { printf '%s\n' "$@" | sort -g | sed -n 2p; }
ratio() { echo "$1 $2" | awk '{printf "%.2f", $1 / $2}'; }

# Built only when missing: a build folder others are building in is left alone.
[ -x "$cli" ] || cmake --build "$build" --target velmora-cli -j1 >/dev/null
make_clips
if [ $# -gt 0 ]; then
    run_side "$1"
    exit 0
fi

sides="velmora-1 ffmpeg-1 velmora-2 ffmpeg-2"
declare -A times
for side in $sides; do run_side "$side"; done # warm-up: caches, first helper start
for _ in 1 2 3; do
    for side in $sides; do times[$side]+="$(seconds_of "$side") "; done
done
[ "$(ls "$work/out/velmora-2"/*.kvx | wc -l)" = $clips ] || { echo "velmora-cli did not convert every clip" >&2; exit 1; }

echo "$clips clips of $length s, 640x360 H.264; seconds, median of 3 (all three)"
for side in $sides; do
    # shellcheck disable=SC2086
    printf '  %-10s %s  (%s)\n' "$side" "$(median ${times[$side]})" "${times[$side]% }"
done
# shellcheck disable=SC2086
{
    v1=$(median ${times[velmora-1]}) v2=$(median ${times[velmora-2]})
    f1=$(median ${times[ffmpeg-1]}) f2=$(median ${times[ffmpeg-2]})
}
echo "velmora-cli --jobs 1 / ffmpeg one after another: $(ratio "$v1" "$f1")"
echo "velmora-cli --jobs 2 / ffmpeg two at a time:     $(ratio "$v2" "$f2")"
echo "velmora-cli --jobs 1 / --jobs 2:                 $(ratio "$v1" "$v2")"
