#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct _XDisplay;

namespace testsupport {

// A test's own connection to an X server, doing what a person at the display would: moving
// the pointer and pressing its button through XTest (the server makes real device events of
// them, so they reach a window the way a mouse's do), moving the keyboard focus, and reading
// back the pixels the server shows. Xlib's headers stay in the .cpp: their macros (None,
// Status, Bool...) would leak into every test.
//
// Every call is synchronous: it returns once the server has carried the request out, so
// what a test awaits next (pumping the main loop) already has its X events on the way.
// Main thread only.
class XClient {
 public:
  // A window's id on the server.
  using WindowID = unsigned long;

  struct Geometry {
    int x = 0;  // on the screen (root window coordinates)
    int y = 0;
    int width = 0;
    int height = 0;
  };

  // nullptr when the display cannot be opened or has no XTest extension.
  [[nodiscard]] static std::unique_ptr<XClient> open(const std::string& displayName);

  ~XClient();
  XClient(const XClient&) = delete;
  XClient& operator=(const XClient&) = delete;

  // Pointer input at screen coordinates; button 1 is the primary button.
  void movePointer(int x, int y);
  void pressButton(int button = 1);
  void releaseButton(int button = 1);

  // Gives the keyboard focus to `window`, or to a window of this client's own (so that
  // every other window loses it).
  void focus(WindowID window);
  void focusElsewhere();

  // What a window manager does when the person resizes a window, or clicks its close box.
  void resize(WindowID window, int width, int height);
  void requestClose(WindowID window);

  // Replaces the server's resource database (what xrdb loads), e.g. "Xft.dpi:\t192\n" for a
  // desktop scaled twice; programs read it when they connect.
  void setResources(std::string_view resources);

  // The mapped top-level window whose title is `title`.
  [[nodiscard]] std::optional<WindowID> windowTitled(std::string_view title);
  [[nodiscard]] std::optional<Geometry> geometry(WindowID window);

  // The colour the server shows at (x, y) of `window`, as 0xRRGGBB; nullopt outside it.
  [[nodiscard]] std::optional<std::uint32_t> pixel(WindowID window, int x, int y);

 private:
  explicit XClient(_XDisplay* display) : display_(display) {}

  std::vector<WindowID> topLevelWindows();

  _XDisplay* display_;
  WindowID ownWindow_ = 0;
};

}  // namespace testsupport
