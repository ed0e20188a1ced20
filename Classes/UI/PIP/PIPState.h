#pragma once

namespace brelum {

// The two modes of a picture-in-picture presentation: the small floating window, or the
// view filling the window.
enum class PIPState { pip, full };

// Where the floating window stands: three rows in each of two columns.
enum class PIPPosition { topLeft, middleLeft, bottomLeft, topRight, middleRight, bottomRight };

// The manager's own presentation state. `dismissing` lasts from the start of a dismissal
// (also the one that precedes replacing the shown controller) until it completes.
enum class _PIPState { inactive, pip, full, dismissing };

}  // namespace brelum
