#pragma once

// C++ leaves the order of dynamic initialisation across source files open.
// The program's static objects must be built in a fixed order (title, then the
// world, then the log), so each is given an explicit GCC/Clang priority.
#define ZARVO_INIT_ORDER(n) __attribute__((init_priority(n)))

inline constexpr int kInitOrderTitle = 200;
inline constexpr int kInitOrderWorld = 300;
inline constexpr int kInitOrderLog = 400;
