#include "Tests/Support/XClient.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace testsupport {
namespace {

// Set while a request that may name a window already gone is carried out: Xlib's default
// handler would end the test program over it.
bool requestFailed = false;

int recordError(Display*, XErrorEvent*) {
  requestFailed = true;
  return 0;
}

// Runs `request` and waits for the server's verdict; false when it answered an error.
template <typename Request>
bool tolerantly(Display* display, Request&& request) {
  XSync(display, False);
  requestFailed = false;
  auto previous = XSetErrorHandler(recordError);
  request();
  XSync(display, False);
  XSetErrorHandler(previous);
  return !requestFailed;
}

}  // namespace

std::unique_ptr<XClient> XClient::open(const std::string& displayName) {
  Display* display = XOpenDisplay(displayName.c_str());
  if (!display) return nullptr;
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
    XCloseDisplay(display);
    return nullptr;
  }
  return std::unique_ptr<XClient>(new XClient(display));
}

XClient::~XClient() {
  XCloseDisplay(display_);
}

void XClient::movePointer(int x, int y) {
  XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, CurrentTime);
  XSync(display_, False);
}

void XClient::pressButton(int button) {
  XTestFakeButtonEvent(display_, static_cast<unsigned>(button), True, CurrentTime);
  XSync(display_, False);
}

void XClient::releaseButton(int button) {
  XTestFakeButtonEvent(display_, static_cast<unsigned>(button), False, CurrentTime);
  XSync(display_, False);
}

void XClient::focus(WindowID window) {
  tolerantly(display_, [&] { XSetInputFocus(display_, window, RevertToParent, CurrentTime); });
}

void XClient::focusElsewhere() {
  if (ownWindow_ == 0) {
    // Focus can only go to a viewable window; a pixel in the far corner is out of the way.
    ownWindow_ = XCreateSimpleWindow(
        display_, DefaultRootWindow(display_), DisplayWidth(display_, DefaultScreen(display_)) - 1,
        DisplayHeight(display_, DefaultScreen(display_)) - 1, 1, 1, 0, 0, 0);
    XMapWindow(display_, ownWindow_);
  }
  focus(ownWindow_);
}

void XClient::resize(WindowID window, int width, int height) {
  tolerantly(display_, [&] {
    XResizeWindow(display_, window, static_cast<unsigned>(width), static_cast<unsigned>(height));
  });
}

void XClient::requestClose(WindowID window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  tolerantly(display_, [&] { XSendEvent(display_, window, False, NoEventMask, &event); });
}

void XClient::setResources(std::string_view resources) {
  XChangeProperty(display_, DefaultRootWindow(display_), XA_RESOURCE_MANAGER, XA_STRING, 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(resources.data()),
                  static_cast<int>(resources.size()));
  XSync(display_, False);
}

std::vector<XClient::WindowID> XClient::topLevelWindows() {
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  std::vector<WindowID> windows;
  if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
    windows.assign(children, children + count);
    XFree(children);
  }
  return windows;
}

std::optional<XClient::WindowID> XClient::windowTitled(std::string_view title) {
  for (WindowID window : topLevelWindows()) {
    char* name = nullptr;
    XWindowAttributes attributes{};
    bool matches = false;
    tolerantly(display_, [&] {
      if (XGetWindowAttributes(display_, window, &attributes) &&
          attributes.map_state == IsViewable && XFetchName(display_, window, &name) && name) {
        matches = title == name;
      }
    });
    if (name) XFree(name);
    if (matches) return window;
  }
  return std::nullopt;
}

std::optional<XClient::Geometry> XClient::geometry(WindowID window) {
  XWindowAttributes attributes{};
  Window child = 0;
  Geometry geometry;
  bool found = tolerantly(display_, [&] {
    if (!XGetWindowAttributes(display_, window, &attributes)) return;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &geometry.x,
                          &geometry.y, &child);
  });
  if (!found) return std::nullopt;
  geometry.width = attributes.width;
  geometry.height = attributes.height;
  return geometry;
}

std::optional<std::uint32_t> XClient::pixel(WindowID window, int x, int y) {
  auto size = geometry(window);
  if (!size || x < 0 || y < 0 || x >= size->width || y >= size->height) return std::nullopt;
  XImage* image = nullptr;
  tolerantly(display_,
             [&] { image = XGetImage(display_, window, x, y, 1, 1, AllPlanes, ZPixmap); });
  if (!image) return std::nullopt;
  // Xvfb's visuals are all 24-bit TrueColor (XvfbServer asks for that depth): 0xRRGGBB.
  const auto value = static_cast<std::uint32_t>(XGetPixel(image, 0, 0) & 0xFFFFFF);
  XDestroyImage(image);
  return value;
}

}  // namespace testsupport
