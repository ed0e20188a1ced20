#pragma once

#include <expected>
#include <filesystem>
#include <string>

namespace testsupport {

// Short clips made with GStreamer when a test first asks for them: a moving test pattern
// with a sine tone.
struct ClipRecipe {
  enum class Format { webm, mp4 };  // VP8 + Opus in WebM; H.264 + AAC in MP4

  Format format = Format::webm;
  int seconds = 2;
  int width = 320;
  int height = 240;
  int framesPerSecond = 30;
  // Video bit rate in kbit/s; 0: the encoder's default.
  int kilobitsPerSecond = 0;
  // videotestsrc's pattern: "ball" (a ball moving on black) costs few bytes, "snow" (noise)
  // as many as the bit rate allows.
  std::string pattern = "ball";

  // "webm" or "mp4".
  [[nodiscard]] std::string extension() const;
};

// The clip's file, made once per recipe and test program in a folder removed at exit; the
// error says why it could not be made.
[[nodiscard]] std::expected<std::filesystem::path, std::string> makeClip(const ClipRecipe& recipe);

}  // namespace testsupport
