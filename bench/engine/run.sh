#!/usr/bin/env bash
# Times the encoder library's two passes against the ffmpeg command line
# doing the same two streams with the same encoder settings, on four inputs
# of the kinds users have, in each encode mode, and prints one table of
# ratios (library time / ffmpeg time, median of RUNS; below 1.0 means the
# library is faster). Runs are interleaved (library, ffmpeg, library, ...)
# so that other load on the machine falls on both sides alike.
#
# usage: bench/engine/run.sh [BUILD_DIR]   (default /tmp/build-bench)
#   QUICK=1        short inputs (10 s, and 60 s for the long one), for iterating
#   MODES="1 0 2"  encode modes to time: 1 Normal Quality, 0 High Quality, 2 Fast
#   RUNS=3         timed runs of each side per input and mode (odd: the median)
#   BEFORE=PATH    a second bench_engine (an older build) timed in the same run;
#                  the table then has a "before" and an "after" column per mode
#   INPUTS="..."   a subset of the input names below
#   WORK=DIR       where the inputs are made and kept (default under BUILD_DIR)
#   QUALITY=1      also a second table: quality per bit of the encoders alone,
#                  for each input and mode: the library's last video stream and
#                  ffmpeg's encoder with the same settings given the very same
#                  pictures (kbit/s and PSNR of each against those pictures)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-/tmp/build-bench}
quick=${QUICK:-0}
modes=${MODES:-1 0 2}
before=${BEFORE:-}
work=${WORK:-$build/bench-engine$([ "$quick" = 1 ] && echo -quick || true)}
mkdir -p "$work"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bench_engine bench_frames -j2 >/dev/null
after=$build/bin/bench_engine
frames=$build/bin/bench_frames

fps=15
rate=32000
akbps=128
# The converter's rate for a 256 kbit/s job at 15 fps: 256 * 25 / 15.
vkbps=427

ff() { ffmpeg -nostdin -v error -y "$@"; }
now() { date +%s.%N; }
seconds() { if [ "$quick" = 1 ]; then echo "$2"; else echo "$1"; fi; }
tone() { echo "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=$1"; }

# name, then how to make it. Moving test pictures with a tone, encoded the
# way cameras, DVDs and old downloads have them.
all_inputs="h264_480p mpeg2_576i mpeg4_240p h264_360p_long"
make_input() { # name duration file
    case $1 in
    h264_480p)
        ff -f lavfi -i "testsrc2=size=640x480:rate=25:duration=$2" $(tone "$2") -ac 2 \
            -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k "$3" ;;
    mpeg2_576i)
        # 50 fields a second woven into 25 interlaced pictures, as a DVD
        # camcorder records them: the two fields of a picture show different
        # moments.
        ff -f lavfi -i "testsrc2=size=720x576:rate=50:duration=$2" $(tone "$2") -ac 2 \
            -vf "tinterlace=interleave_top,setfield=tff" -c:v mpeg2video -flags +ilme+ildct -top 1 \
            -b:v 6000k -maxrate 8000k -bufsize 1835k -g 12 -bf 2 -c:a mp2 -b:a 192k -f dvd "$3" ;;
    mpeg4_240p)
        ff -f lavfi -i "testsrc2=size=320x240:rate=25:duration=$2" $(tone "$2") -ac 2 \
            -c:v mpeg4 -q:v 4 -c:a libmp3lame -b:a 128k "$3" ;;
    h264_360p_long)
        ff -f lavfi -i "testsrc2=size=640x360:rate=25:duration=$2" $(tone "$2") -ac 2 \
            -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k "$3" ;;
    esac
}
input_length() {
    case $1 in
    h264_480p | mpeg2_576i) seconds 60 10 ;;
    mpeg4_240p) seconds 30 10 ;;
    h264_360p_long) seconds 900 60 ;;
    esac
}
input_file() {
    case $1 in
    mpeg2_576i) echo "$work/$1.mpg" ;;
    mpeg4_240p) echo "$work/$1.avi" ;;
    *) echo "$work/$1.mp4" ;;
    esac
}
mode_name() { case $1 in 0) echo "High Quality" ;; 1) echo "Normal Quality" ;; *) echo "Fast" ;; esac; }
# The library's encoder settings for each mode, so that ffmpeg does the same
# work (High Quality costs far more per picture than ffmpeg's defaults).
mode_flags() {
    case $1 in
    0) echo "-mbd rd -cmp satd -subcmp satd -dia_size 2 -last_pred 2 -trellis 1 -mpv_flags +mv0" ;;
    1) echo "-mbd bits -subcmp satd" ;;
    *) echo "-mbd simple -subq 2" ;;
    esac
}

# One library run: both passes, total seconds.
run_library() { # binary script mode
    "$1" "$2" "$work/lib.m1v" "$work/lib.mp2" $vkbps $akbps $rate "$3" | awk '{print $6}'
}
# ffmpeg's MPEG-1 encoder at the library's rate and settings.
ff_encoder() { # mode
    echo "-c:v mpeg1video -bf 0 -g 15 -b:v ${vkbps}k -minrate ${vkbps}k -maxrate ${vkbps}k" \
        "-bufsize $((vkbps * 1000 / 2)) $(mode_flags "$1")"
}
# The same two streams from the ffmpeg command line; total seconds.
run_ffmpeg() { # source mode
    local t0 t1
    t0=$(now)
    ff -i "$1" -an \
        -vf "fps=$fps:round=up,scale=256:-2:flags=bicubic+accurate_rnd:param0=1/3:param1=1/3,setpts=N/25/TB" \
        -r 25 $(ff_encoder "$2") "$work/ff.m1v"
    ff -i "$1" -vn -ar $rate -ac 2 -c:a mp2 -b:a ${akbps}k "$work/ff.mp2"
    t1=$(now)
    echo "$t0 $t1" | awk '{printf "%.3f", $2 - $1}'
}
# Bit rate of an MPEG-1 stream in kbit/s at 15 pictures a second.
kbps() { # stream
    ffprobe -v error -show_entries format=duration,size -of csv=p=0 "$1" |
        awk -F, -v n="$(ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 "$1")" \
            '{printf "%.0f", $2 * 8 / 1000 / (n / '"$fps"')}'
}
# The pictures of a script's clip graph, the ones the library's encoder is
# given (its own choice of source pictures, an interlaced input's fields
# blended), as bench_frames makes them, into a pipe; prints the pipe's name.
lib_pictures() { # script
    local fifo=$work/frames-$RANDOM.yuv
    mkfifo "$fifo"
    "$frames" "$1" "$fifo" >/dev/null &
    echo "$fifo"
}
# Luma PSNR of an MPEG-1 stream against raw pictures.
psnr() { # stream size raw
    ffmpeg -nostdin -v info -i "$1" -f rawvideo -pix_fmt yuv420p -s "$2" -r 25 -i "$3" \
        -lavfi "[0:v]setpts=N/25/TB[a];[1:v]setpts=N/25/TB[b];[a][b]psnr=shortest=1" -f null - 2>&1 |
        sed -n 's/.* y:\([0-9.]*\) .*/\1/p' | tail -n 1
}
# Quality per bit of the encoders alone: the library's stream, and ffmpeg's
# encoder with the same settings given the very same pictures, each as
# "kbit/s, PSNR" against those pictures.
quality() { # script mode
    local size fifo same=$work/ff-same.m1v
    size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=s=x:p=0 "$work/lib.m1v")
    fifo=$(lib_pictures "$1")
    # shellcheck disable=SC2046
    ff -f rawvideo -pix_fmt yuv420p -s "$size" -r 25 -i "$fifo" $(ff_encoder "$2") "$same"
    wait
    local results=()
    for stream in "$work/lib.m1v" "$same"; do
        rm -f "$fifo"
        fifo=$(lib_pictures "$1")
        results+=("$(kbps "$stream") kbit/s, $(psnr "$stream" "$size" "$fifo") dB")
        wait
    done
    rm -f "$fifo"
    echo "${results[0]} | ${results[1]}"
}
median() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }
ratio() { echo "$1 $2" | awk '{printf "%.2f", $1 / $2}'; }

header="| input |"
rule="|---|"
for m in $modes; do
    if [ -n "$before" ]; then
        header="$header $(mode_name "$m") before | $(mode_name "$m") after |"
        rule="$rule---|---|"
    else
        header="$header $(mode_name "$m") |"
        rule="$rule---|"
    fi
done
table="$header"$'\n'"$rule"
qtable="| input | mode | library | ffmpeg, same pictures |"$'\n'"|---|---|---|---|"

for name in ${INPUTS:-$all_inputs}; do
    length=$(input_length "$name")
    src=$(input_file "$name")
    [ -f "$src" ] || make_input "$name" "$length" "$src"
    size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=s=x:p=0 "$src" | head -n 1 | sed "s/x*$//")
    script=$work/$name.avs
    printf 'videofile = "%s"\r\na = DirectShowSource(videofile, fps=%s, convertfps=true)\r\na0 = a\r\naa = BicubicResize(a0,256,256*Height(a)/Width(a))\r\naa2 = ResampleAudio(aa,%s)\r\naaa = ConvertToYV12(aa2)\r\nc = aaa\r\nTrim(c,0*%s,%s*%s)\r\n' \
        "$src" $fps $rate $fps "$length" $fps > "$script"
    row="| $name ($size, ${length} s) |"
    for m in $modes; do
        lib=() old=() ffm=()
        for _ in $(seq "${RUNS:-3}"); do
            # The older build first: lib.m1v is the newer one's for QUALITY.
            [ -z "$before" ] || old+=("$(run_library "$before" "$script" "$m")")
            lib+=("$(run_library "$after" "$script" "$m")")
            ffm+=("$(run_ffmpeg "$src" "$m")")
        done
        if [ "${QUALITY:-0}" = 1 ]; then
            qtable="$qtable"$'\n'"| $name | $(mode_name "$m") | $(quality "$script" "$m") |"
        fi
        f=$(median "${ffm[@]}")
        a=$(median "${lib[@]}")
        echo "$name mode $m: library ${lib[*]} ffmpeg ${ffm[*]}${before:+ before ${old[*]}}" >&2
        if [ -n "$before" ]; then
            row="$row $(ratio "$(median "${old[@]}")" "$f") | $(ratio "$a" "$f") |"
        else
            row="$row $(ratio "$a" "$f") |"
        fi
    done
    table="$table"$'\n'"$row"
done
echo "$table"
if [ "${QUALITY:-0}" = 1 ]; then
    echo
    echo "$qtable"
fi
