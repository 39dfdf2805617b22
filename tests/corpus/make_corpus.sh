#!/bin/sh
# Makes the bad-input corpus for corpus_tests in the folder given as the only
# argument: small damaged, odd and awkward inputs, all generated here with the
# ffmpeg command line and plain shell tools (nothing is downloaded or copied
# from elsewhere). Takes a few seconds. Exits non-zero when a file could not
# be made or does not have the property it exists for.
set -eu

out=${1:?usage: make_corpus.sh FOLDER}
mkdir -p "$out"
cd "$out"

ff() { ffmpeg -nostdin -v error -y "$@"; }
fail() { echo "make_corpus: $*" >&2; exit 1; }
size_of() { wc -c < "$1" | tr -d ' '; }
# First $2 bytes of $1 into $3.
cut_to() { head -c "$2" "$1" > "$3"; }
# Overwrites $3 bytes of $1 at offset $2 with noise, keeping the length.
scribble() { dd if=noise.bin of="$1" bs=1 seek="$2" count="$3" conv=notrunc 2>/dev/null; }

# Picture and sound sources: a 4 s test card with a tone.
av="-f lavfi -i testsrc=size=160x120:rate=25:duration=4 -f lavfi -i sine=frequency=440:sample_rate=44100:duration=4"
h264="-c:v libx264 -preset ultrafast -pix_fmt yuv420p"

# Deterministic noise bytes (white noise as unsigned 8-bit samples).
ff -f lavfi -i anoisesrc=duration=2:sample_rate=65536:color=white:seed=7 -ac 1 -f u8 noise.bin

# Not video at all.
: > empty.avi
cp noise.bin random.avi
printf 'Dear diary,\r\nthis is not a movie.\r\n' > text.mp4

# Whole files the damaged ones are cut from: index at the end, and at the front.
ff $av $h264 -c:a aac -shortest whole.mp4
ff -i whole.mp4 -c copy -movflags +faststart whole_faststart.mp4
ff $av -c:v mpeg4 -q:v 5 -c:a libmp3lame -shortest whole.avi
ff $av $h264 -c:a aac -shortest whole.mkv

# Cut at half: without the index (mp4's moov is at the end) ...
cut_to whole.mp4 $(( $(size_of whole.mp4) / 2 )) trunc_noindex.mp4
# ... and with an intact index that still promises all 4 seconds (mp4 with
# the moov at the front, Matroska with its length in the segment header).
cut_to whole_faststart.mp4 $(( $(size_of whole_faststart.mp4) / 2 )) trunc_index.mp4
cut_to whole.mkv $(( $(size_of whole.mkv) / 2 )) trunc_index.mkv
for f in trunc_index.mp4 trunc_index.mkv; do
    d=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$f" | cut -d. -f1)
    [ "$d" = 4 ] || fail "$f should still claim 4 s, claims $d"
done

# A separate sound file cut off after its header: the MP3's Xing header still
# promises 8 s, about 2.5 s are left. Dubbed onto a 4 s picture.
ff -f lavfi -i sine=frequency=440:sample_rate=44100:duration=8 -ac 2 -c:a libmp3lame whole.mp3
cut_to whole.mp3 $(( $(size_of whole.mp3) * 5 / 16 )) trunc_sound.mp3
d=$(ffprobe -v error -show_entries format=duration -of csv=p=0 trunc_sound.mp3 | cut -d. -f1)
[ "$d" = 8 ] || fail "trunc_sound.mp3 should still claim 8 s, claims $d"
ff -f lavfi -i testsrc=size=160x120:rate=25:duration=4 $h264 no_audio_4s.mp4

# A damaged middle that decodes on around it.
cp whole.avi corrupt_middle.avi
scribble corrupt_middle.avi $(( $(size_of whole.avi) / 2 )) 3000
# A few hundred kilobytes of garbage inside an MP4 whose index is at the
# front, so that pictures and sound are both damaged in the middle.
ff -f lavfi -i testsrc=size=320x240:rate=25:duration=12 -f lavfi -i sine=frequency=440:sample_rate=44100:duration=12 \
    $h264 -b:v 2M -c:a aac -shortest -movflags +faststart garbage_middle.mp4
for i in 0 1; do
    scribble garbage_middle.mp4 $(( $(size_of garbage_middle.mp4) / 3 + i * $(size_of noise.bin) )) $(size_of noise.bin)
done
# A raw H.264 stream as cameras and recorders write it: no container, so no
# stated length.
ff -f lavfi -i testsrc=size=160x120:rate=25:duration=4 $h264 raw.h264
[ "$(ffprobe -v error -show_entries format=duration -of csv=p=0 raw.h264)" = N/A ] || fail "raw.h264 states a length"
# Every picture damaged, the index intact: nothing decodes. (The mp4's
# sample data starts right after the "mdat" box type.)
cp whole_faststart.mp4 corrupt_all.mp4
mdat=$(grep -obUa mdat corrupt_all.mp4 | head -n 1 | cut -d: -f1)
[ -n "$mdat" ] || fail "no mdat box in corrupt_all.mp4"
scribble corrupt_all.mp4 $(( mdat + 4 )) $(( $(size_of corrupt_all.mp4) - mdat - 4 ))

# Sound that starts half a second after the 4 s picture and so outlasts it,
# as a Matroska muxer writes an audio delay: the file's duration (4.5 s) is
# the sound's end. Once with the per-track length tags muxers write, once
# without them (the tag names spoilt, their lengths kept), so that only the
# file's duration and its packets tell. And an MP4 whose sound outlasts the
# picture by a second.
ff -f lavfi -i testsrc=size=160x120:rate=25:duration=4 -itsoffset 0.5 \
    -f lavfi -i sine=frequency=440:sample_rate=44100:duration=4 $h264 -c:a aac late_sound.mkv
d=$(ffprobe -v error -show_entries format=duration -of csv=p=0 late_sound.mkv)
[ "$d" = 4.500000 ] || fail "late_sound.mkv should last 4.5 s, lasts $d"
LC_ALL=C sed 's/DURATION/DURATIOX/g' late_sound.mkv > late_sound_untagged.mkv
ffprobe -v error -show_entries stream_tags=DURATION late_sound_untagged.mkv | grep -q DURATION \
    && fail "late_sound_untagged.mkv still has length tags"
ff $av -f lavfi -i sine=frequency=440:sample_rate=44100:duration=5 -map 0:v -map 2:a $h264 -c:a aac long_sound.mp4

# Streams missing, or very short.
ff -f lavfi -i sine=frequency=440:duration=2 -c:a aac audio_only.m4a
ff -f lavfi -i testsrc=size=160x120:rate=25:duration=2 $h264 no_audio.mp4
ff $av $h264 -c:a aac -frames:v 1 -t 0.04 one_frame.mp4
ff $av $h264 -c:a aac -t 0.6 short.mp4

# Odd, tiny and extreme picture sizes.
ff -f lavfi -i testsrc=size=2x2:rate=25:duration=1 $h264 tiny_2x2.mp4
ff -f lavfi -i testsrc=size=17x13:rate=25:duration=1 -c:v mpeg4 odd_17x13.avi
ff -f lavfi -i testsrc=size=2000x100:rate=25:duration=1 $h264 wide_2000x100.mp4
ff -f lavfi -i testsrc=size=100x2000:rate=25:duration=1 $h264 tall_100x2000.mp4
ff -f lavfi -i testsrc=size=2560x8:rate=25:duration=1 $h264 wide_2560x8.mp4

# Variable frame rate: one second at 30 fps, then two at 10 fps.
ff -f lavfi -i testsrc=size=160x120:rate=30:duration=3 \
    -vf "setpts='if(lt(N,30),N/30,1+(N-30)/10)/TB'" -frames:v 50 -fps_mode vfr $h264 vfr.mkv

# A phone clip stored sideways, with a display matrix saying "turn me".
ff -f lavfi -i testsrc=size=160x96:rate=25:duration=2 -f lavfi -i sine=duration=2 $h264 -c:a aac -shortest upright.mp4
ff -i upright.mp4 -c copy -metadata:s:v:0 rotate=90 rotated.mp4
ffprobe -v error -show_entries stream_side_data=side_data_type -select_streams v rotated.mp4 | grep -q "Display Matrix" \
    || fail "rotated.mp4 has no display matrix"
rm upright.mp4

# Sound beyond stereo and far below the usual rates.
ff -f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i sine=frequency=330:sample_rate=48000:duration=2 \
    $h264 -c:a aac -ac 6 -channel_layout 5.1 -shortest surround51.mp4
ff -f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i sine=frequency=330:sample_rate=8000:duration=2 \
    -c:v mpeg4 -c:a pcm_s16le -ac 1 -shortest mono8k.avi

# A name a shell or an option parser could trip over.
mkdir -p "odd folder ü"
cp whole_faststart.mp4 "odd folder ü/-dash ünï 'single' \"double\" name.mp4"

# Introduction and subtitle files that are not what they claim.
printf 'not a picture\n' > intro_not_image.jpg
printf '1\r\n00:00:00,500 --> 00:00:02,000\r\nCaf\351 cr\350me br\373l\351e\r\n\r\n' > subs_cp1252.srt
cp whole.mp4 subs_not_subtitles.srt

rm noise.bin whole.mp4 whole_faststart.mp4 whole.avi whole.mkv whole.mp3
