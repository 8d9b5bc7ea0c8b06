// Why a question box cannot be shown, in words that name the cause. SDL 2
// draws its boxes with X core fonts and falls back to zenity; zenity with no
// display ends as if its box had been closed, and SDL's last error after a
// failed box is zenity's even where the real cause was the fonts. So the
// display and the fonts are looked at here, before and after SDL tries.
// SDL 3 (under sdl2-compat) asks zenity first and draws with the X server's
// built-in font: there the fonts are never the cause.
#include <X11/Xlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/sdl/sdl_backend.h"
#include "platform/sdl/under_sdl.h"

namespace {

// What SDL's boxes ask the X server for: medium upright 12-point fonts in
// ISO 10646. A bare server has only "fixed" in ISO 8859-1.
constexpr const char* kBoxFontPattern = "-*-*-medium-r-normal--*-120-*-*-*-*-iso10646-1";

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// The Wayland socket a client would connect to, as libwayland finds it.
bool WaylandReachable() {
    std::string name = EnvironmentValue("WAYLAND_DISPLAY");
    if (name.empty()) {
        return false;
    }
    if (name.front() != '/') {
        const std::string runtime = EnvironmentValue("XDG_RUNTIME_DIR");
        if (runtime.empty()) {
            return false;
        }
        name = runtime + "/" + name;
    }
    struct stat info {};
    return stat(name.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

bool OnPath(std::string_view program) {
    const std::string path = EnvironmentValue("PATH");
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string folder = end == start ? "." : path.substr(start, end - start);
        if (access((folder + "/" + std::string(program)).c_str(), X_OK) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// Opens the X display of DISPLAY for a moment; null when there is none.
Display* OpenX() {
    return EnvironmentValue("DISPLAY").empty() ? nullptr : XOpenDisplay(nullptr);
}

bool HasBoxFonts(Display* display) {
    int count = 0;
    char** names = XListFonts(display, kBoxFontPattern, 1, &count);
    if (names != nullptr) {
        XFreeFontNames(names);
    }
    return count > 0;
}

}  // namespace

namespace sdlbackend {

std::string NoDisplayForBoxes() {
    if (Display* display = OpenX()) {
        XCloseDisplay(display);
        return {};
    }
    if (WaylandReachable()) {
        return {};
    }
    const std::string x = EnvironmentValue("DISPLAY");
    std::string reason = x.empty() ? "no display: DISPLAY is not set"
                                   : "no display: cannot open X display \"" + x + "\"";
    const std::string wayland = EnvironmentValue("WAYLAND_DISPLAY");
    if (!wayland.empty()) {
        reason += ", nor Wayland display \"" + wayland + "\"";
    }
    return reason;
}

std::string BoxFailureReason(const char* sdlError) {
    if (undersdl::ServedBySdl3()) {
        // zenity failed or is missing, then SDL's own box failed: its error.
        return sdlError;
    }
    const std::string zenity = OnPath("zenity") ? std::string("zenity failed: ") + sdlError
                                                : std::string("zenity is not installed");
    Display* display = OpenX();
    if (display == nullptr) {
        return zenity;
    }
    const bool fonts = HasBoxFonts(display);
    XCloseDisplay(display);
    if (fonts) {
        return sdlError;
    }
    return "the X server has no ISO 10646 core fonts to draw it with (package xfonts-base), and " + zenity;
}

}  // namespace sdlbackend
