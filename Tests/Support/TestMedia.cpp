#include "Tests/Support/TestMedia.h"

#include <gst/gst.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>
#include <system_error>

namespace testsupport {
namespace {

namespace fs = std::filesystem;

// The clips' folder, removed when the program exits.
const fs::path& clipFolder() {
  static const struct Folder {
    fs::path path;
    Folder() {
      std::string pattern = (fs::temp_directory_path() / "brelum-media-XXXXXX").string();
      if (::mkdtemp(pattern.data())) path = pattern;
    }
    ~Folder() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  } folder;
  return folder.path;
}

std::string pipelineText(const ClipRecipe& recipe, const fs::path& file) {
  const bool webm = recipe.format == ClipRecipe::Format::webm;
  const int bitsPerSecond = recipe.kilobitsPerSecond * 1000;
  std::ostringstream text;
  text << "videotestsrc pattern=" << recipe.pattern
       << " num-buffers=" << recipe.seconds * recipe.framesPerSecond
       << " ! video/x-raw,width=" << recipe.width << ",height=" << recipe.height
       << ",framerate=" << recipe.framesPerSecond << "/1 ! ";
  if (webm) {
    text << "vp8enc deadline=1";
    if (bitsPerSecond) text << " target-bitrate=" << bitsPerSecond;
    text << " ! webmmux name=mux";
  } else {
    text << "videoconvert ! openh264enc";
    if (bitsPerSecond) text << " bitrate=" << bitsPerSecond;
    text << " ! h264parse ! mp4mux name=mux";
  }
  // Opus wants 48 kHz; 480 samples a buffer make 100 buffers a second.
  text << " ! filesink location=\"" << file.string() << "\" "
       << "audiotestsrc wave=sine samplesperbuffer=480 num-buffers=" << recipe.seconds * 100
       << " ! audio/x-raw,rate=48000 ! audioconvert ! " << (webm ? "opusenc" : "avenc_aac")
       << " ! mux.";
  return text.str();
}

std::expected<void, std::string> encode(const std::string& description) {
  g_autoptr(GError) error = nullptr;
  g_autoptr(GstElement) pipeline = gst_parse_launch(description.c_str(), &error);
  if (!pipeline || error) {
    return std::unexpected(error ? error->message : "the pipeline could not be built");
  }
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  g_autoptr(GstBus) bus = gst_element_get_bus(pipeline);
  g_autoptr(GstMessage) message = gst_bus_timed_pop_filtered(
      bus, 60 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  if (message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
    gst_message_parse_error(message, &error, nullptr);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  if (!message) return std::unexpected("encoding did not finish within a minute");
  if (error) return std::unexpected(error->message);
  return {};
}

}  // namespace

std::string ClipRecipe::extension() const {
  return format == Format::webm ? "webm" : "mp4";
}

std::expected<fs::path, std::string> makeClip(const ClipRecipe& recipe) {
  static std::mutex mutex;
  static std::map<std::string, fs::path> made;
  std::lock_guard lock(mutex);
  const auto name =
      "clip-" + std::to_string(recipe.seconds) + "s-" + std::to_string(recipe.width) + "x" +
      std::to_string(recipe.height) + "-" + std::to_string(recipe.framesPerSecond) + "fps-" +
      std::to_string(recipe.kilobitsPerSecond) + "k-" + recipe.pattern + "." + recipe.extension();
  if (auto found = made.find(name); found != made.end()) return found->second;
  if (clipFolder().empty()) return std::unexpected("no temporary folder");
  gst_init(nullptr, nullptr);
  const auto file = clipFolder() / name;
  if (auto encoded = encode(pipelineText(recipe, file)); !encoded) {
    return std::unexpected("making " + name + ": " + encoded.error());
  }
  made.emplace(name, file);
  return file;
}

}  // namespace testsupport
