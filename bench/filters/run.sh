#!/bin/sh
# The script functions end to end through the encoder library (both passes):
#  (a) the script writer's fullest script (27 lines: every option on) against
#      its plainest (8 lines) on the same 30 s input; prints the time ratio.
#  (b) Reverse of a 15-minute clip: time, peak resident memory, and how the
#      progress and time-left estimate behave while Reverse reads its input.
# Inputs are generated once into the work folder and reused.
#
# usage: bench/filters/run.sh [BUILD_DIR]   (default /tmp/build-bench)
# PARTS=a runs only (a), PARTS=b only (b); MODE sets the encode mode (1).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-/tmp/build-bench}
work=$build/bench-filters
mkdir -p "$work"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bench_filters -j2 >/dev/null
bench=$build/bin/bench_filters

fps=15
rate=32000
akbps=128
vkbps=427 # a 256 kbit/s job at 15 fps: 256 * 25 / 15
mode=${MODE:-1}
crlf() { awk '{printf "%s\r\n", $0}'; }
field() { echo "$1" | awk -v k="$2" '{for (i = 1; i < NF; i++) if ($i == k) print $(i + 1)}'; }
gen() { [ -f "$1" ] || { shift; ffmpeg -nostdin -v error -y "$@"; }; }

parts=${PARTS:-ab}

# (a) ---------------------------------------------------------------------
case $parts in *a*)
src=$work/src30.mp4
gen "$src" "$src" -f lavfi -i "testsrc2=size=640x360:rate=25:duration=30" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=30" -ac 2 \
    -vf "pad=640:480:0:60:black" -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k "$src"
song=$work/song.mp3
gen "$song" -f lavfi -i "sine=frequency=330:sample_rate=44100:duration=32" -ac 2 -c:a libmp3lame "$song"
card=$work/card.png
gen "$card" -f lavfi -i "testsrc=size=320x240:rate=1:duration=1" -frames:v 1 "$card"
subs=$work/clip.srt
i=0
: > "$subs"
while [ $i -lt 15 ]; do
    printf '%d\r\n00:00:%02d,000 --> 00:00:%02d,500\r\nLine %d: "quoted" 100%% \\ Ünïcödé 日本\r\n\r\n' \
        $((i + 1)) $((i * 2)) $((i * 2 + 1)) $i >> "$subs"
    i=$((i + 1))
done

crlf > "$work/plain.avs" <<AVS
videofile = "$src"
a = DirectShowSource(videofile, fps=$fps, convertfps=true)
a0 = a
aa = BicubicResize(a0,256,256*Height(a)/Width(a))
aa2 = ResampleAudio(aa,$rate)
aaa = ConvertToYV12(aa2)
c = aaa
Trim(c,0*$fps,30*$fps)
AVS

crlf > "$work/full.avs" <<AVS
loadplugin("$work/AutoCrop.dll")
loadplugin("$work/VSFilter.dll")
videofile = "$src"
audiofile = "$song"
subfile = "$subs"
imageintfile = "$card"
a = AudioDub(DirectShowSource(videofile, fps=$fps, convertfps=true), DirectShowSource(audiofile))
a0 = AutoCrop(a,mode=0,wmultof=4,hmultof=4,samples=10,aspect=0,threshold=34,samplestartframe=0)
a1 = BicubicResize(a0,256,256*Height(a)/Width(a))
aa = Subtitle(a1,"Demo",10,20,0*$fps,5*$fps,"Arial",12,16711680)
aa1 = ResampleAudio(aa,$rate)
aa2 = Reverse(aa1)
aaa = ConvertToYV12(aa2)
b1 = ImageSource(imageintfile,0,3*$fps,$fps)
b2 = Tone(3,0,$rate,2,"Silence",1.0)
b = AudioDub(b1,b2)
bb = ResampleAudio(b,$rate)
bb2 = BicubicResize(bb,256,256*Height(a)/Width(a))
bbb = ConvertToYV12(bb2)
c = Dissolve (bbb,aaa,1*$fps)
Trim(c,0*$fps,(30+3)*$fps)
Tweak(30,1.2,-10,1)
Sharpen(0.5)
Amplify(1.5)
DelayAudio(0.5)
GetChannel(1,1)
TextSub(subfile)
AVS

plain=$("$bench" "$work/plain.avs" "$work/plain.m1v" "$work/plain.mp2" $vkbps $akbps $rate $mode)
full=$("$bench" "$work/full.avs" "$work/full.m1v" "$work/full.mp2" $vkbps $akbps $rate $mode)
pt=$(field "$plain" total)
ft=$(field "$full" total)
echo "(a) 30 s 640x480 input, mode $mode"
echo "    8-line script:  $plain"
echo "    27-line script: $full"
ratio() { echo "$1 $(field "$full" frames) $2 $(field "$plain" frames)" | awk '{printf "%.2f", ($1 / $2) / ($3 / $4)}'; }
echo "    ratio 27/8 per frame: wall $(ratio "$ft" "$pt") (target <= 1.5), cpu $(ratio "$(field "$full" cpu)" "$(field "$plain" cpu)")"

;; esac

# (b) ---------------------------------------------------------------------
case $parts in *b*)
long=$work/src900.mp4
gen "$long" -f lavfi -i "testsrc=size=320x240:rate=15:duration=900" \
    -f lavfi -i "sine=frequency=440:sample_rate=32000:duration=900" -ac 2 \
    -c:v mpeg4 -q:v 6 -g 150 -c:a aac -b:a 96k "$long"
crlf > "$work/reverse.avs" <<AVS
videofile = "$long"
a = DirectShowSource(videofile, fps=$fps, convertfps=true)
a0 = a
aa = BicubicResize(a0,256,256*Height(a)/Width(a))
aa1 = ResampleAudio(aa,$rate)
aa2 = Reverse(aa1)
aaa = ConvertToYV12(aa2)
c = aaa
Trim(c,0,0)
AVS
rev=$("$bench" "$work/reverse.avs" "$work/reverse.m1v" "$work/reverse.mp2" $vkbps $akbps $rate $mode)
echo "(b) Reverse of 15 min 320x240 at 15 fps, mode $mode"
echo "    $rev"
echo "    peak RSS $(field "$rev" peak_rss_mb) MB (target < 300)"
;; esac
rm -f "$work"/*.m1v "$work"/*.mp2
