#!/usr/bin/env bash
# Writes the fuzzers' seed inputs into OUT/settings, OUT/kvx and OUT/script:
# the program's own scripts, a settings file with every key, and .kvx files.
# Nothing binary is kept in the source tree; it is all made here.
#
#   make_seeds.sh OUT
set -euo pipefail

if [[ $# -ne 1 ]]; then
    echo "usage: $0 OUT" >&2
    exit 2
fi
out=$1
mkdir -p "$out/settings" "$out/kvx" "$out/script"

# Lines joined with CR LF, the line end the script writer uses.
crlf() {
    local line
    for line in "$@"; do
        printf '%s\r\n' "$line"
    done
}

# --- Scripts --------------------------------------------------------------

crlf 'videofile = "/home/user/Videos/clip.avi"' \
    'a = DirectShowSource(videofile, fps=15, convertfps=true)' \
    'a0 = a' \
    'aa = BicubicResize(a0,256,256*Height(a)/Width(a))' \
    'aa2 = ResampleAudio(aa,32000)' \
    'aaa = ConvertToYV12(aa2)' \
    'c = aaa' \
    'Trim(c,0*15,120*15)' >"$out/script/plain.avs"

# The length probe of the same job.
sed 's/^Trim(c,0\*15,120\*15)/Trim(c,0,0)/' "$out/script/plain.avs" >"$out/script/probe.avs"

crlf 'videofile = "/home/user/Videos/clip.avi"' \
    'videointfile = "/home/user/Intro/intro.avi"' \
    'a = DirectShowSource(videofile, fps=15, convertfps=true)' \
    'a0 = a' \
    'aa = BicubicResize(a0,256,256*Height(a)/Width(a))' \
    'aa2 = ResampleAudio(aa,32000)' \
    'aaa = ConvertToYV12(aa2)' \
    'b = DirectShowSource(videointfile, fps=15, convertfps=true)' \
    'bb = ResampleAudio(b,32000)' \
    'bb2 = BicubicResize(bb,256,256*Height(a)/Width(a))' \
    'bbb = ConvertToYV12(bb2)' \
    'c1 = Dissolve (bbb,aaa,0)' \
    'c = FadeIn (c1,2*15)' \
    'Trim(c,0*15,120*15+Framecount(bbb))' >"$out/script/intro_video.avs"

crlf 'loadplugin("/opt/velmora/AutoCrop.dll")' \
    'loadplugin("/opt/velmora/VSFilter.dll")' \
    'videofile = "/home/user/Videos/clip.avi"' \
    'audiofile = "/home/user/Music/song.mp3"' \
    'subfile = "/home/user/Videos/clip.srt"' \
    'imageintfile = "/home/user/Intro/card.jpg"' \
    'a = AudioDub(DirectShowSource(videofile, fps=15, convertfps=true), DirectShowSource(audiofile))' \
    'a0 = AutoCrop(a,mode=0,wmultof=4,hmultof=4,samples=10,aspect=0,threshold=34,samplestartframe=0)' \
    'a1 = BicubicResize(a0,256,256*Height(a)/Width(a))' \
    'aa = Subtitle(a1,"Demo",10,20,0*15,5*15,"Arial",12,16711680)' \
    'aa1 = ResampleAudio(aa,32000)' \
    'aa2 = Reverse(aa1)' \
    'aaa = ConvertToYV12(aa2)' \
    'b1 = ImageSource(imageintfile,0,3*15,15)' \
    'b2 = Tone(3,0,32000,2,"Silence",1.0)' \
    'b = AudioDub(b1,b2)' \
    'bb = ResampleAudio(b,32000)' \
    'bb2 = BicubicResize(bb,256,256*Height(a)/Width(a))' \
    'bbb = ConvertToYV12(bb2)' \
    'c = Dissolve (bbb,aaa,1*15)' \
    'Trim(c,10*15,(60+3)*15)' \
    'Tweak(30,1.2,-10,1)' \
    'Sharpen(0.5)' \
    'Amplify(1.5)' \
    'DelayAudio(0.5)' \
    'GetChannel(1,1)' \
    'TextSub(subfile)' >"$out/script/everything.avs"

# Forms the writer never makes but the language reads: LF ends, comments,
# triple quotes, hexadecimal, method calls, an implicit last.
printf '%s\n' '# a hand-written script' \
    'DirectShowSource("""/home/user/a "quoted" name.avi""", fps=15.5)' \
    'FadeIO(30, color=$FF00FF).Reverse' \
    'x = -(7 % 3) + 2.5 * .5' \
    'Trim(0, x)' >"$out/script/handwritten.avs"

# --- Settings file --------------------------------------------------------

# Every key, in the order the program writes them, each away from its default.
cat >"$out/settings/Velmora.ini" <<'EOF'
[InitDirectory]
videoopendir=/home/user/Videos/
audioopendir=/home/user/Music/
subopendir=/home/user/Subtitles/
videointopendir=/home/user/Intro/
imageintopendir=/home/user/Pictures/
[Select Setting]
OptionSel=2
[Parameter]
FRCombo=9
VBRText=384
ABRCombo=6
ASRCombo=5
ModeCombo=0
AutoCropCheck=1
[Output Directory]
OutputText=/home/user/Movies/
[Time Control]
TextStartTime=10
TextEndTime=60
TotalTime=120
CheckReverse=1
[Color Setting]
HScrollHue=30
HScrollSat=12
HScrollBri=-10
HScrollCon=10
HScrollSha=-158
[Audio Setting]
HScrollVol=150
OptionCha=1
HScrollDel=5
[Extern Audio/Subtitle]
AudioFileText=/home/user/Music/song.mp3
SubFileText=/home/user/Videos/clip.srt
TextLogo=Demo
TextLogoX=10
TextLogoY=20
TextLogoStart=0
TextLogoEnd=5
TextLogo.Font=DejaVu Sans
TextLogo.FontSize=8.25
TextLogo.FontBold=1
TextLogo.FontItalic=0
TextLogo.ForeColor=255
[Add Intruduction]
TextIntVideo=/home/user/Intro/intro.avi
TextIntImage=/home/user/Intro/card.jpg
OptionInt=1
TextIntImageTime=3
TextFadeTime=1
OptionFade=3
[Others]
ShutDownCheck=0
EOF

# The same keys in other spellings the reader must take: CR LF mixed with LF,
# other case, spaces around "=", a comment, and a key the program does not know.
sed -e 's/$/\r/' -e 's/^FRCombo=/frcombo = /' -e 's/^\[Parameter\]/[PARAMETER]/' \
    -e 's/^\[Others\]/; kept as it is\n[Others]\nUnknownKey=1/' \
    "$out/settings/Velmora.ini" >"$out/settings/spelling.ini"

# A load that stops early: the list index is not a number.
sed 's/^FRCombo=9/FRCombo=abc/' "$out/settings/Velmora.ini" >"$out/settings/stops.ini"

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
