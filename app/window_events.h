#pragma once

// False while the window is minimised: the main loop then runs no frames.
extern bool windowActive;
namespace initial {
inline constexpr bool kWindowActive = true;
}
