# The libraries the framework builds on, found the same way by its own build and, through
# the installed package configuration, by a host's build: the static libraries carry their
# private dependencies to whatever links them.
find_package(Threads REQUIRED)
find_package(Boost 1.81.0 EXACT REQUIRED CONFIG COMPONENTS url)
find_package(CURL REQUIRED)
find_package(OpenSSL 3 REQUIRED)
find_package(ICU REQUIRED COMPONENTS uc i18n)
find_package(nlohmann_json 3 REQUIRED)
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
find_package(GIF REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(cairo REQUIRED IMPORTED_TARGET cairo)
# The desktop window: SDL2, and the X11 and Wayland client libraries for its connection.
pkg_check_modules(desktop REQUIRED IMPORTED_TARGET sdl2 x11 wayland-client)
