#!/bin/sh
# The whole program's path against the ffmpeg command line, in one run:
#  1. a 30 s 360p and a 30 s 576p h264+aac clip, each converted by the real
#     window over the real helper processes (default settings, Start to
#     "Encode End!") and by ffmpeg making the same two streams; times and
#     their ratio (the program's CPU includes its helpers');
#  2. the window thread's CPU during each conversion, in per cent of the wall
#     time (it only waits for the helpers' answers);
#  3. adding 100 files in one add, total and per file, and the longest stall
#     of the window's event loop meanwhile (a 5 ms timer's largest lateness):
#     100 copies of a 2 s clip, then 100 links to the 30 s 576p clip (the
#     probe should not grow with the clip's length);
#  4. the check Start makes before the first pass, for the 100 30 s links;
#  5. a batch of ten 3 s 320x240 clips through the window, then the same
#     twenty passes (same scripts, same arguments) in-process through the
#     library's C interface (polled every 5 ms, and every 30 ms as the
#     window polled it in its own process before the helpers); the helpers' overhead (each pass from the window's
#     request to the helper's answer, against the same pass in-process) and
#     the whole program's (Start to "Encode End!" against the passes alone),
#     in per cent of the batch's time, and the loop's longest stall during
#     the batch; ROUNDS rounds (default 3), median;
#  6. the preview's middle frame of a 15-minute 640x360 H.264 file through a
#     fresh preview source (its helper starting at the first call): the frame
#     count, the first and a second request, RUNS runs (default 3), median.
# Inputs are generated once and reused. Everything is written under BENCH_DIR
# (default /tmp/velmora-bench-program), the build too unless BUILD_DIR is given
# (an existing build is not configured again). JOBS sets the build's jobs
# (default 2).
#
# usage: bench/program/run.sh [BUILD_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=${BENCH_DIR:-/tmp/velmora-bench-program}
build=${1:-$work/build}
rounds=${ROUNDS:-3}
runs=${RUNS:-3}
mkdir -p "$work/media" "$work/add" "$work/addlong" "$work/batch" "$work/ff" "$work/home/runtime"
chmod 700 "$work/home/runtime"

[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bench_program -j"${JOBS:-2}" >/dev/null

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

    prog=$(bench convert "$work/run" "$src" | grep '^wall_s')
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

# 5 -------------------------------------------------------------------------
short=$work/media/short.mp4
gen "$short" -f lavfi -i "testsrc2=size=320x240:rate=25:duration=3" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=3" -ac 2 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 96k -shortest "$short"
i=0
while [ $i -lt 10 ]; do
    [ -f "$work/batch/clip_0$i.mp4" ] || cp "$short" "$work/batch/clip_0$i.mp4"
    i=$((i + 1))
done
batched=$(bench batch "$work/run" "$work/batch" "$rounds" || true)
echo "$batched"
batchMedian=$(echo "$batched" | grep '^batch median' || true)

# 6 -------------------------------------------------------------------------
# Made once: 15 minutes at a small bit rate, kept for the next run.
long=$work/media/long_640x360_900.mp4
if [ ! -f "$long" ]; then
    ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=640x360:rate=25:duration=900" \
        -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=900" -ac 2 \
        -c:v libx264 -preset fast -b:v 300k -pix_fmt yuv420p -c:a aac -b:a 64k "$long.part.mp4"
    mv "$long.part.mp4" "$long"
fi
previewed=$(bench preview "$work/run" "$long" "$runs" || true)
echo "$previewed"
previewMedian=$(echo "$previewed" | grep '^preview median' || true)
rm -rf "$work/ff"/* "$work/run"

echo
echo "          ---- wall s ----     ---- CPU s -----   window thread   frames"
echo "input       prog ffmpeg ratio     prog ffmpeg ratio     cpu_s  cpu_%   prog/ff"
printf '%s' "$rows"
echo
echo "add 100 files      added  total_s  ms/file  probe ms/file  rest ms/file  window_cpu_s  stall_ms"
addRow() {
    printf '%-17s %6s %8s %8s %14s %13s %13s %9s\n' "$1" "$(field "$2" added)" "$(field "$2" total_s)" \
        "$(field "$2" per_file_ms)" "$(field "$2" probe_per_file_ms)" "$(field "$2" rest_per_file_ms)" \
        "$(field "$2" window_cpu_s)" "$(field "$2" max_late_ms)"
}
addRow "2 s 320x240" "$added"
addRow "30 s 1024x576" "$addedLong"
echo
echo "check before the first pass (100 jobs): $(echo "$checked" | awk '{printf "%s s  ", $5}')"
echo
echo "batch of 10 x 3 s 320x240 (median of $rounds): helpers' overhead $(field "$batchMedian" helper_overhead_pct) %" \
    " (against the in-window batch as it was, polling every 30 ms: $(field "$batchMedian" overhead_vs_in_window_30ms_pct) %)" \
    " whole program's overhead $(field "$batchMedian" batch_overhead_pct) %  longest stall $(field "$batchMedian" max_late_ms) ms"
echo "preview, middle of 15 min 640x360 (median of $runs): frame count $(field "$previewMedian" frames_ms) ms" \
    " first $(field "$previewMedian" first_ms) ms  count + first $(field "$previewMedian" frames_and_first_ms) ms" \
    " second $(field "$previewMedian" second_ms) ms"
