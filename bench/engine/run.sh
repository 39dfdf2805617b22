#!/bin/sh
# Times the encoder library's two passes against the ffmpeg command line
# doing the same work, on a 360p and a 576p clip of about 30 s, and prints
# the time ratio (library / ffmpeg; below 1.0 means the library is faster).
#
# usage: bench/engine/run.sh [BUILD_DIR]   (default /tmp/build-bench)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-/tmp/build-bench}
work=$build/bench-engine
mkdir -p "$work"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bench_engine -j2 >/dev/null

fps=15
rate=32000
akbps=128
mode=${MODE:-1}
# The converter's rate for a 256 kbit/s job at 15 fps: 256 * 25 / 15.
vkbps=427
# The library's encoder settings for each mode, so that ffmpeg does the same
# work (High Quality costs far more per picture than ffmpeg's defaults).
case $mode in
0) modeflags="-mbd rd -cmp satd -subcmp satd -dia_size 2 -last_pred 2 -trellis 1 -mpv_flags +mv0" ;;
1) modeflags="-mbd bits -subcmp satd" ;;
*) modeflags="-mbd simple -subq 2" ;;
esac

now() { date +%s.%N; }

for size in 640x360 1024x576; do
    src=$work/src_$size.mp4
    [ -f "$src" ] || ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=$size:rate=25:duration=30" \
        -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=30" -ac 2 \
        -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k "$src"
    script=$work/bench_$size.avs
    printf 'videofile = "%s"\r\na = DirectShowSource(videofile, fps=%s, convertfps=true)\r\na0 = a\r\naa = BicubicResize(a0,256,256*Height(a)/Width(a))\r\naa2 = ResampleAudio(aa,%s)\r\naaa = ConvertToYV12(aa2)\r\nc = aaa\r\nTrim(c,0*%s,30*%s)\r\n' \
        "$src" $fps $rate $fps $fps > "$script"

    lib=$("$build/bin/bench_engine" "$script" "$work/lib.m1v" "$work/lib.mp2" $vkbps $akbps $rate $mode)
    libTotal=$(echo "$lib" | awk '{print $6}')

    buf=$((vkbps * 1000 / 2))
    t0=$(now)
    ffmpeg -nostdin -v error -y -i "$src" -an \
        -vf "fps=$fps:round=up,scale=256:-2:flags=bicubic+accurate_rnd:param0=1/3:param1=1/3,setpts=N/25/TB" \
        -r 25 -c:v mpeg1video -bf 0 -g 15 -b:v ${vkbps}k -minrate ${vkbps}k -maxrate ${vkbps}k -bufsize $buf \
        $modeflags "$work/ff.m1v"
    t1=$(now)
    ffmpeg -nostdin -v error -y -i "$src" -vn -ar $rate -ac 2 -c:a mp2 -b:a ${akbps}k "$work/ff.mp2"
    t2=$(now)
    ffTotal=$(echo "$t0 $t1 $t2" | awk '{printf "%.3f", $3 - $1}')
    ffVideo=$(echo "$t0 $t1" | awk '{printf "%.3f", $2 - $1}')
    ffAudio=$(echo "$t1 $t2" | awk '{printf "%.3f", $2 - $1}')
    echo "$size mode $mode: library $lib | ffmpeg video $ffVideo audio $ffAudio total $ffTotal |" \
        "ratio $(echo "$libTotal $ffTotal" | awk '{printf "%.2f", $1 / $2}')"
done
