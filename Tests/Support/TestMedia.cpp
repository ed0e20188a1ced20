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
  struct Folder {
    fs::path path;
    Folder() {
      std::string pattern = (fs::temp_directory_path() / "brelum-media-XXXXXX").string();
      if (::mkdtemp(pattern.data())) path = pattern;
    }
    ~Folder() {
      std::error_code ignored;
      if (!path.empty()) fs::remove_all(path, ignored);
    }
  };
  static Folder folder;
  return folder.path;
}

std::string describe(const ClipRecipe& recipe) {
  std::ostringstream name;
  name << "clip-" << recipe.seconds << "s-" << recipe.width << "x" << recipe.height << "-"
       << recipe.framesPerSecond << "fps-" << recipe.kilobitsPerSecond << "k-" << recipe.pattern
       << "." << recipe.extension();
  return name.str();
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
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
  if (!pipeline || error) {
    std::string reason = error ? error->message : "the pipeline could not be built";
    g_clear_error(&error);
    if (pipeline) gst_object_unref(pipeline);
    return std::unexpected(reason);
  }
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* message = gst_bus_timed_pop_filtered(
      bus, 60 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  std::expected<void, std::string> outcome;
  if (!message) {
    outcome = std::unexpected(std::string("encoding did not finish within a minute"));
  } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
    gst_message_parse_error(message, &error, nullptr);
    outcome = std::unexpected(std::string(error->message));
    g_clear_error(&error);
  }
  if (message) gst_message_unref(message);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  return outcome;
}

}  // namespace

std::string ClipRecipe::extension() const {
  return format == Format::webm ? "webm" : "mp4";
}

std::expected<fs::path, std::string> makeClip(const ClipRecipe& recipe) {
  static std::mutex mutex;
  static std::map<std::string, fs::path> made;
  std::lock_guard lock(mutex);
  const auto name = describe(recipe);
  if (auto found = made.find(name); found != made.end()) return found->second;
  if (clipFolder().empty()) return std::unexpected(std::string("no temporary folder"));
  gst_init(nullptr, nullptr);
  const auto file = clipFolder() / name;
  if (auto encoded = encode(pipelineText(recipe, file)); !encoded) {
    return std::unexpected("making " + name + ": " + encoded.error());
  }
  made.emplace(name, file);
  return file;
}

}  // namespace testsupport
