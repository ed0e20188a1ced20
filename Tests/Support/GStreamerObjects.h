#pragma once

#include <string>
#include <vector>

namespace testsupport {

// A census of GStreamer's objects (elements, pads, buses, pools, clocks...) taken through
// GStreamer's tracing hooks, which run in every process whether or not GST_TRACERS is set.

// Forgets every object seen so far and records each one made from now on.
void startCountingGStreamerObjects();

// The type names of the objects made since the last start that are still alive.
[[nodiscard]] std::vector<std::string> liveGStreamerObjects();

}  // namespace testsupport
