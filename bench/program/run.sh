#!/bin/sh
# The whole program's path against the ffmpeg command line, in one run:
#  1. a 30 s 360p and a 30 s 576p h264+aac clip, each converted by the real
#     window over the real library (default settings, Start to "Encode End!")
#     and by ffmpeg making the same two streams; times and their ratio;
#  2. the window thread's CPU during each conversion, in per cent of the wall
#     time (it only polls the library and waits for events);
#  3. adding 100 files in one add, total and per file: 100 copies of a 2 s
#     clip, then 100 links to the 30 s 576p clip (the probe should not grow
#     with the clip's length);
#  4. the check Start makes before the first pass, for the 100 30 s links.
# Inputs are generated once and reused. Everything is written under BENCH_DIR
# (default /tmp/velmora-bench-program), the build too unless BUILD_DIR is given.
#
# usage: bench/program/run.sh [BUILD_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=${BENCH_DIR:-/tmp/velmora-bench-program}
build=${1:-$work/build}
mkdir -p "$work/media" "$work/add" "$work/addlong" "$work/ff" "$work/home/runtime"
chmod 700 "$work/home/runtime"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bench_program -j2 >/dev/null

# The window finds its home folder (default output folder) and Qt its caches
# inside the scratch folder.
bench() {
    HOME=$work/home XDG_CACHE_HOME=$work/home/.cache XDG_CONFIG_HOME=$work/home/.config \
        XDG_RUNTIME_DIR=$work/home/runtime QT_QPA_PLATFORM=offscreen "$build/bin/bench_program" "$@"
}
field() { echo "$1" | awk -v k="$2" '{for (i = 1; i < NF; i++) if ($i == k) { print $(i + 1); exit }}'; }
ratio() { echo "$1 $2" | awk '{printf "%.2f", $1 / $2}'; }
gen() { [ -f "$1" ] || { shift; ffmpeg -nostdin -v error -y "$@"; }; }
# timed FILE COMMAND...: writes "wall_s cpu_s" of COMMAND to FILE.
timed() {
    out=$1
    shift
    /usr/bin/time -f "%e %U %S" -o "$out.raw" "$@"
    awk '{print $1, $2 + $3}' "$out.raw" > "$out"
}

# 1 and 2 -------------------------------------------------------------------
rows=""
for size in 640x360 1024x576; do
    src=$work/media/clip_$size.mp4
    gen "$src" -f lavfi -i "testsrc2=size=$size:rate=25:duration=30" \
        -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=30" -ac 2 \
        -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k "$src"

    prog=$(bench convert "$work/run" "$src")
    # The ffmpeg side takes the numbers the window gave the library's video
    # pass: "vkbps akbps Hz pass mode".
    args=$(echo "$prog" | sed 's/.*begin_args "\([^,"]*\).*/\1/')
    vkbps=$(echo "$args" | awk '{print $1}')
    akbps=$(echo "$args" | awk '{print $2}')
    rate=$(echo "$args" | awk '{print $3}')
    fps=$(field "$prog" fps | sed 's/^0*//')
    buf=$((vkbps * 1000 / 2))

    timed "$work/ff/video.time" ffmpeg -nostdin -v error -y -i "$src" -an \
        -vf "fps=$fps:round=up,scale=256:-2:flags=bicubic+accurate_rnd:param0=1/3:param1=1/3,setpts=N/25/TB" \
        -r 25 -c:v mpeg1video -bf 0 -g 15 -b:v ${vkbps}k -minrate ${vkbps}k -maxrate ${vkbps}k -bufsize $buf \
        "$work/ff/ff.m1v"
    timed "$work/ff/audio.time" ffmpeg -nostdin -v error -y -i "$src" -vn -ar "$rate" -ac 2 -c:a mp2 \
        -b:a ${akbps}k "$work/ff/ff.mp2"
    ffVideo=$(awk '{printf "%.2f", $1}' "$work/ff/video.time")
    ffAudio=$(awk '{printf "%.2f", $1}' "$work/ff/audio.time")
    ffTotal=$(cat "$work/ff/video.time" "$work/ff/audio.time" | awk '{s += $1} END {printf "%.2f", s}')
    ffCpu=$(cat "$work/ff/video.time" "$work/ff/audio.time" | awk '{s += $2} END {printf "%.2f", s}')
    ffFrames=$(ffprobe -v error -f mpegvideo -count_frames -show_entries stream=nb_read_frames \
        -of default=nw=1:nk=1 "$work/ff/ff.m1v")
    ffBytes=$(($(stat -c %s "$work/ff/ff.m1v") + $(stat -c %s "$work/ff/ff.mp2")))

    echo "$size program: $prog"
    # The window's default settings add lines after Trim that the ffmpeg
    # command below does not mirror (colour and sharpness defaults).
    echo "$size program script after Trim: $(tr -d '\r' < "$work/run/last_script.avs" |
        awk 'f {printf "%s ", $0} /^Trim/ {f = 1}')"
    echo "$size ffmpeg: video $ffVideo s audio $ffAudio s total $ffTotal s cpu $ffCpu s frames $ffFrames bytes $ffBytes"
    rows="$rows$(printf '%-9s %6.2f %6.2f %5s   %6.2f %6.2f %5s   %8.3f %5.2f   %s/%s' "$size" \
        "$(field "$prog" wall_s)" "$ffTotal" "$(ratio "$(field "$prog" wall_s)" "$ffTotal")" \
        "$(field "$prog" process_cpu_s)" "$ffCpu" "$(ratio "$(field "$prog" process_cpu_s)" "$ffCpu")" \
        "$(field "$prog" window_cpu_s)" "$(field "$prog" window_cpu_pct)" \
        "$(field "$prog" frames)" "$ffFrames")
"
done

# 3 -------------------------------------------------------------------------
tiny=$work/media/tiny.mp4
rm -rf "$work/addlong"
mkdir -p "$work/addlong"
gen "$tiny" -f lavfi -i "testsrc2=size=320x240:rate=25:duration=2" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=2" -ac 2 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 96k -shortest "$tiny"
i=0
while [ $i -lt 100 ]; do
    n=$(printf %03d $i)
    [ -f "$work/add/clip_$n.mp4" ] || cp "$tiny" "$work/add/clip_$n.mp4"
    ln -sf "$work/media/clip_1024x576.mp4" "$work/addlong/long_$n.mp4"
    i=$((i + 1))
done
added=$(bench add "$work/run" "$work/add" || true)
echo "add (2 s copies): $added"
addedLong=$(bench add "$work/run" "$work/addlong" || true)
echo "add (30 s links): $addedLong"
checked=$(bench preflight "$work/run" "$work/addlong" | grep '^preflight' || true)
echo "$checked"
rm -rf "$work/ff"/* "$work/run"

echo
echo "          ---- wall s ----     ---- CPU s -----   window thread   frames"
echo "input       prog ffmpeg ratio     prog ffmpeg ratio     cpu_s  cpu_%   prog/ff"
printf '%s' "$rows"
echo
echo "add 100 files      added  total_s  ms/file  probe ms/file  rest ms/file  window_cpu_s"
addRow() {
    printf '%-17s %6s %8s %8s %14s %13s %13s\n' "$1" "$(field "$2" added)" "$(field "$2" total_s)" \
        "$(field "$2" per_file_ms)" "$(field "$2" probe_per_file_ms)" "$(field "$2" rest_per_file_ms)" \
        "$(field "$2" window_cpu_s)"
}
addRow "2 s 320x240" "$added"
addRow "30 s 1024x576" "$addedLong"
echo
echo "check before the first pass (100 jobs): $(echo "$checked" | awk '{printf "%s s  ", $5}')"
