#!/usr/bin/env bash
# Loops a 2 s clip with a new player every round, as a looping view does, and reports how much
# the resident memory grew after the first minute (goal: less than 2 MB over 30 minutes). Not
# run in CI: it takes the minutes it is given.
#
#   Benchmarks/Media/loop-rss.sh [minutes=30] [build/release/Benchmarks/Media/MediaPlayback]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
minutes=${1:-30}
ours=${2:-$root/build/release/Benchmarks/Media/MediaPlayback}
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
gst-launch-1.0 -q videotestsrc pattern=ball num-buffers=60 \
  ! video/x-raw,width=640,height=360,framerate=30/1 ! vp8enc deadline=1 ! webmmux name=mux \
  ! filesink location="$folder/clip.webm" audiotestsrc wave=sine samplesperbuffer=480 \
  num-buffers=200 ! audio/x-raw,rate=48000 ! audioconvert ! opusenc ! mux.
"$ours" loop "$folder/clip.webm" "$minutes"
