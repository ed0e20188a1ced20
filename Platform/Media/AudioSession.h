#pragma once

#include <atomic>
#include <expected>
#include <string>

#include "Platform/Media/AudioSessionCategory.h"

namespace platform {

struct AudioSessionError {
  std::string localizedDescription;
};

// The application's audio session: which category of sound it makes, and whether there is an
// output for it. Every member may be called from any thread.
//
// Setting a category fails when the machine has no audio output at all (no sound server
// socket and no ALSA playback device): the request cannot be honoured, so the category stays
// as it was and the error says why. Media play regardless; with no output their sound is
// decoded and discarded at the pace of the video.
class AudioSession {
 public:
  static AudioSession& sharedInstance();

  [[nodiscard]] AudioSessionCategory category() const { return category_.load(); }
  [[nodiscard]] std::expected<void, AudioSessionError> setCategory(AudioSessionCategory category);

  // Whether sound can reach a device now: $PULSE_SERVER is set, a PulseAudio or PipeWire
  // socket is in $XDG_RUNTIME_DIR, or /dev/snd has a playback device.
  [[nodiscard]] static bool isOutputAvailable();

 private:
  AudioSession() = default;

  std::atomic<AudioSessionCategory> category_{AudioSessionCategory::soloAmbient};
};

}  // namespace platform
