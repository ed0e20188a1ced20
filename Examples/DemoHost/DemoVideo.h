#pragma once

namespace demo {

// The video scene: a looping video in picture-in-picture over a window, playing the clip
// the stand-in back end serves over HTTPS (its address in BRELUM_DEMO_VIDEO_URL; the scene
// is skipped without it). With a display (and unless `headless`) it plays in a desktop
// window until closed, stopping while the window loses focus; without one, snapshots show
// its picture before and after it starts over, and a resign/become-active pair stops and
// restarts it. Call it on the main thread. Answers whether every step happened.
bool showVideo(bool headless);

}  // namespace demo
