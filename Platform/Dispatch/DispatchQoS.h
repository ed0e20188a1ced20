#pragma once

namespace platform {

// Quality-of-service classes of the global concurrent queues. All classes share one
// thread pool; the class is kept as a label of intent, not as a scheduling priority.
enum class DispatchQoS { background, utility, defaultQoS, userInitiated, userInteractive };

}  // namespace platform
