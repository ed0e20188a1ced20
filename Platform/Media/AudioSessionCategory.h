#pragma once

namespace platform {

// What the application does with sound. On this platform every category sends media sound to
// the machine's audio output: there is no ring/silent switch to obey or to ignore.
enum class AudioSessionCategory {
  ambient,      // sound that mixes with other applications' sound
  soloAmbient,  // the default
  playback,     // the application's purpose is playing media
};

}  // namespace platform
