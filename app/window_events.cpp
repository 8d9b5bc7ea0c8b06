#include "app/window_events.h"

#include <algorithm>
#include <iterator>

#include "app/game_window.h"
#include "platform/platform.h"
#include "render/scene_setup.h"
#include "world/world_values.h"

bool windowActive = initial::kWindowActive;

namespace {

std::uint32_t LowWord(std::uintptr_t value) { return static_cast<std::uint32_t>(value & 0xFFFF); }
std::uint32_t HighWord(std::uintptr_t value) { return static_cast<std::uint32_t>((value >> 16) & 0xFFFF); }

void SetKey(std::uintptr_t code, bool down) {
    if (IsKeyIndex(code)) {
        keys[code] = down;
    }
}

// A window without the keyboard hears no key-up, so whatever it held would
// stay held until the key is pressed again: everything is let go.
void ReleaseHeldKeys() { std::fill(std::begin(keys), std::end(keys), false); }

}  // namespace

std::intptr_t WindowProc(platform::Window* window, std::uint32_t message, std::uintptr_t wParam,
                         std::intptr_t lParam) {
    switch (message) {
        case platform::kWmSize: {
            const auto size = static_cast<std::uintptr_t>(lParam);
            ResizeScene(static_cast<int>(LowWord(size)), static_cast<int>(HighWord(size)));
            return 0;
        }
        case platform::kWmActivate:
            // Only minimising stops the frames; losing the focus does not.
            windowActive = HighWord(wParam) == 0;
            if (LowWord(wParam) == platform::kWaInactive) {
                ReleaseHeldKeys();
            }
            return 0;
        case platform::kWmDisplayChange:
            FollowDisplayChange();
            return 0;
        case platform::kWmKillFocus:
            ReleaseHeldKeys();
            break;
        case platform::kWmClose:
            platform::PostQuit(0);
            return 0;
        case platform::kWmKeyDown:
            SetKey(wParam, true);
            return 0;
        case platform::kWmKeyUp:
            SetKey(wParam, false);
            return 0;
        case platform::kWmSysKeyUp:
            // A key let go while Alt is down is let go all the same; the
            // system still sees it, for Alt+F4 and the window menu.
            SetKey(wParam, false);
            break;
        case platform::kWmSysCommand:
            // Keep the screen saver and monitor power-off away while playing.
            if (wParam == platform::kScScreenSave || wParam == platform::kScMonitorPower) {
                return 0;
            }
            break;
        default:
            break;
    }
    return platform::DefaultWindowProc(window, message, wParam, lParam);
}
