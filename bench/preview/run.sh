#!/usr/bin/env bash
# Times single preview pictures (Encode_Preview) on 15-minute H.264 files of
# 640x360 and 1920x1080, 25 fps, as cameras and downloads have them: the frame
# in the middle and the last frame of the writer's plain script, of the same
# script reversed, and of a script with crop detection, a logo, colour and
# sharpening. Each figure is the median over RUNS fresh opens of the script
# (and the largest), then the median of a second frame of the opened script;
# the last column is the process's peak memory. For the plain script, the
# ffmpeg command line decoding the same source frames (accurate seek, one
# frame, process start included) is timed right after, as a yardstick that
# the machine's other load hits alike: compare the two medians.
#
# usage: bench/preview/run.sh [BUILD_DIR]   (default /tmp/build-bench)
#   RUNS=7        fresh opens per case
#   WORK=DIR      where the inputs are made and kept (default under BUILD_DIR)
#   SIZES="360 1080"
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-/tmp/build-bench}
runs=${RUNS:-7}
sizes=${SIZES:-360 1080}
work=${WORK:-$build/bench-preview}
mkdir -p "$work"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bench_preview -j2 >/dev/null
bench=$build/bin/bench_preview

input() { # height -> file, made once
    local file=$work/h264_${1}p_900.mp4
    if [ ! -f "$file" ]; then
        local size=640x360 preset=veryfast
        [ "$1" = 1080 ] && size=1920x1080 preset=superfast
        ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=$size:rate=25:duration=900" \
            -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=900" -ac 2 \
            -c:v libx264 -preset $preset -pix_fmt yuv420p -c:a aac -b:a 128k "$file.part.mp4"
        mv "$file.part.mp4" "$file"
    fi
    echo "$file"
}

script() { # name video kind
    local avs=$work/$1.avs
    {
        printf 'videofile = "%s"\r\n' "$2"
        printf 'a = DirectShowSource(videofile, fps=15, convertfps=true)\r\n'
        if [ "$3" = options ]; then
            printf 'a0 = AutoCrop(a,mode=0,wmultof=4,hmultof=4,samples=10,aspect=0,threshold=34,samplestartframe=0)\r\n'
            printf 'a1 = BicubicResize(a0,256,256*Height(a)/Width(a))\r\n'
            printf 'aa = Subtitle(a1,"Preview",10,20,0*15,900*15,"DejaVu Sans",12,16711680)\r\n'
        else
            printf 'aa = BicubicResize(a,256,256*Height(a)/Width(a))\r\n'
        fi
        if [ "$3" = reverse ]; then
            printf 'aa1 = ResampleAudio(aa,32000)\r\naa2 = Reverse(aa1)\r\n'
        else
            printf 'aa2 = ResampleAudio(aa,32000)\r\n'
        fi
        printf 'aaa = ConvertToYV12(aa2)\r\nc = aaa\r\nTrim(c,0*15,(900+0)*15)\r\n'
        [ "$3" = options ] && printf 'Tweak(30,1.2,-10,1)\r\nSharpen(0.5)\r\n'
    } >"$avs"
    echo "$avs"
}

ffmpeg_median() { # video where -> median ms of ffmpeg decoding the source frames the runs take
    local frames=13500 t times=()
    for run in $(seq 0 $((runs - 1))); do
        if [ "$2" = middle ]; then t=$(( (frames / 2 + 53 * run) % frames )); else t=$((frames - 1)); fi
        local start=$(date +%s%N)
        ffmpeg -nostdin -v error -ss "$(echo "scale=4; $t / 15" | bc)" -i "$1" -frames:v 1 -f null -
        times+=($(( ($(date +%s%N) - start) / 1000000 )))
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p"
}

printf '%-28s %s\n' case result
for h in $sizes; do
    video=$(input "$h")
    for kind in plain reverse options; do
        avs=$(script "${h}p_$kind" "$video" "$kind")
        for where in middle last; do
            printf '%-28s %s\n' "${h}p $kind $where" "$("$bench" "$avs" "$where" "$runs")"
            [ "$kind" = plain ] && printf '%-28s ffmpeg median %s ms\n' "" "$(ffmpeg_median "$video" "$where")"
        done
    done
done
