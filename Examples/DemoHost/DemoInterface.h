#pragma once

namespace demo {

// The interface act: a window with a few views, a button and a draggable square. With a
// display (and unless `headless`), the person uses it in a desktop window and closes it to
// end; without one, a short scripted sequence drags the square and taps the button, and a
// PNG snapshot of each step is written and its path printed. Call it on the main thread.
// Answers whether every step happened.
bool showInterface(bool headless);

}  // namespace demo
