#include "Platform/Media/AudioSession.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace platform {
namespace {

bool isSocket(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_socket(path, error);
}

bool hasSoundServer() {
  if (const char* server = std::getenv("PULSE_SERVER"); server && *server) return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || !*runtime) return false;
  const std::filesystem::path folder(runtime);
  return isSocket(folder / "pulse" / "native") || isSocket(folder / "pipewire-0");
}

// ALSA names playback devices pcmC<card>D<device>p.
bool hasALSAPlaybackDevice() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/snd", error)) {
    const auto name = entry.path().filename().string();
    if (name.starts_with("pcmC") && name.ends_with('p')) return true;
  }
  return false;
}

}  // namespace

AudioSession& AudioSession::sharedInstance() {
  static AudioSession session;
  return session;
}

std::expected<void, AudioSessionError> AudioSession::setCategory(AudioSessionCategory category) {
  if (!isOutputAvailable()) {
    return std::unexpected(AudioSessionError{
        "No audio output is available (no sound server and no ALSA playback device); media "
        "will play without sound."});
  }
  category_ = category;
  return {};
}

bool AudioSession::isOutputAvailable() {
  return hasSoundServer() || hasALSAPlaybackDevice();
}

}  // namespace platform
