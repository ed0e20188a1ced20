#include "Tests/Support/GStreamerObjects.h"

#include <gst/gst.h>

#include <mutex>
#include <unordered_map>

namespace testsupport {
namespace {

struct Census {
  std::mutex mutex;
  bool counting = false;
  std::unordered_map<const void*, GType> live;
};

// Never freed: streaming threads may still report objects while the process exits.
Census& census() {
  static auto* const instance = new Census;
  return *instance;
}

// Hooks run on whichever thread makes or frees the object.
void onCreated(GObject*, GstClockTime, GstObject* object) {
  auto& all = census();
  std::lock_guard lock(all.mutex);
  if (all.counting) all.live[object] = G_OBJECT_TYPE(object);
}

void onDestroyed(GObject*, GstClockTime, GstObject* object) {
  auto& all = census();
  std::lock_guard lock(all.mutex);
  all.live.erase(object);
}

GType censusTracerType() {
  static const GType type = g_type_register_static_simple(
      GST_TYPE_TRACER, "TestSupportCensusTracer", sizeof(GstTracerClass), nullptr,
      sizeof(GstTracer),
      [](GTypeInstance* instance, void*) {
        auto* tracer = reinterpret_cast<GstTracer*>(instance);
        gst_tracing_register_hook(tracer, "object-created", G_CALLBACK(&onCreated));
        gst_tracing_register_hook(tracer, "object-destroyed", G_CALLBACK(&onDestroyed));
      },
      GTypeFlags(0));
  return type;
}

}  // namespace

void startCountingGStreamerObjects() {
  // GStreamer keeps the tracer (and its hooks) for the rest of the process.
  [[maybe_unused]] static const bool installed = [] {
    gst_init(nullptr, nullptr);
    gst_object_ref_sink(g_object_new(censusTracerType(), nullptr));
    return true;
  }();
  auto& all = census();
  std::lock_guard lock(all.mutex);
  all.live.clear();
  all.counting = true;
}

std::vector<std::string> liveGStreamerObjects() {
  auto& all = census();
  std::lock_guard lock(all.mutex);
  std::vector<std::string> names;
  for (const auto& [object, type] : all.live) names.emplace_back(g_type_name(type));
  return names;
}

GstObject* takeLiveGStreamerObject(std::string_view typeName) {
  auto& all = census();
  std::lock_guard lock(all.mutex);
  const void* found = nullptr;
  for (const auto& [object, type] : all.live) {
    if (g_type_name(type) != typeName) continue;
    if (found) return nullptr;
    found = object;
  }
  return found ? GST_OBJECT(gst_object_ref(const_cast<void*>(found))) : nullptr;
}

}  // namespace testsupport
