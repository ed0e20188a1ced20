#!/usr/bin/env bash
# CPU time per second of playback of the same 720p clip: our player (pictures to a player layer
# in a window) next to gst-launch-1.0 playing it with the same decoder and the same conversion
# to BGRx into a fake sink (the floor). Also the share of the clip's pictures that reached the
# layer. Run on an idle machine, with an optimised build:
#
#   cmake --preset release && cmake --build --preset release --target MediaPlayback
#   Benchmarks/Media/compare-playback.sh [build/release/Benchmarks/Media/MediaPlayback] [seconds]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
ours=${1:-$root/build/release/Benchmarks/Media/MediaPlayback}
seconds=${2:-20}
fps=30
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT

make_clip() {  # format file
  local video audio mux
  if [ "$1" = mp4 ]; then
    video="videoconvert ! openh264enc bitrate=4000000 ! h264parse"; audio=avenc_aac; mux=mp4mux
  else
    video="vp8enc deadline=1 target-bitrate=4000000"; audio=opusenc; mux=webmmux
  fi
  gst-launch-1.0 -q videotestsrc pattern=ball num-buffers=$((seconds * fps)) \
    ! video/x-raw,width=1280,height=720,framerate=$fps/1 ! $video ! $mux name=mux \
    ! filesink location="$2" audiotestsrc wave=sine samplesperbuffer=480 \
    num-buffers=$((seconds * 100)) ! audio/x-raw,rate=48000 ! audioconvert ! $audio ! mux. \
    2>/dev/null
}

cpu_of() {  # command... -> user+system seconds of the process; its output stays in $folder/out
  /usr/bin/env time -f "%U %S" -o "$folder/time" "$@" >"$folder/out" 2>/dev/null
  awk '{print $1+$2}' "$folder/time"
}

for format in mp4 webm; do
  clip="$folder/clip.$format"
  make_clip $format "$clip"
  # The floor: playbin with the same flags (video, audio, soft volume), the same decoder it
  # picks for us, conversion to BGRx, and sinks that keep time like ours.
  floor=$(cpu_of gst-launch-1.0 -q playbin flags=0x13 uri="file://$clip" \
    video-sink="capsfilter caps=video/x-raw,format=BGRx ! fakesink sync=true" \
    audio-sink="fakesink sync=true")
  # Ours, also counted for the whole process.
  ourCPU=$(cpu_of "$ours" play "$clip")
  shown=$(sed -E 's/.*"picturesShown":([0-9]+).*/\1/' "$folder/out")
  awk -v f="$format" -v floor="$floor" -v ours="$ourCPU" -v s="$seconds" -v shown="$shown" \
      -v total=$((seconds * fps)) 'BEGIN {
    printf "%-4s 720p %ds: gst-launch %.3f CPU s/s, ours %.3f CPU s/s, ratio %.2f (goal <= 1.3); pictures shown %d/%d = %.1f%% (goal >= 99%%)\n",
      f, s, floor / s, ours / s, ours / floor, shown, total, 100 * shown / total }'
done
