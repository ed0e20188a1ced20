#pragma once

namespace demo {

// The picture-in-picture act: a controller floats over a window, fades in, is dragged and
// snaps to the nearest of six positions, goes full screen and back, follows a rotation, and
// its close button reaches the host's handler, which dismisses it. With a display (and
// unless `headless`) the person drags it and taps close; without one the steps are scripted
// and a PNG snapshot of each is written and its path printed. Main thread only. Answers
// whether every step happened.
bool showPictureInPicture(bool headless);

}  // namespace demo
