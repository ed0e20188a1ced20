#pragma once

#include <string>
#include <string_view>
#include <vector>

typedef struct _GstObject GstObject;

namespace testsupport {

// A census of GStreamer's objects (elements, pads, buses, pools, clocks...) taken through
// GStreamer's tracing hooks, which run in every process whether or not GST_TRACERS is set.

// Forgets every object seen so far and records each one made from now on.
void startCountingGStreamerObjects();

// The type names of the objects made since the last start that are still alive.
[[nodiscard]] std::vector<std::string> liveGStreamerObjects();

// The one object of the type `typeName` (as g_type_name() spells it, "GstPlayBin") made since
// the last start and still alive, with a reference that the caller releases; null when there
// is none, or more than one. Only for an object that its owner keeps alive meanwhile: the
// census hears of a release once it is under way.
[[nodiscard]] GstObject* takeLiveGStreamerObject(std::string_view typeName);

}  // namespace testsupport
