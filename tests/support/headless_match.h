#pragma once

#include <cstdint>
#include <functional>

// Plays the world without a window: frames through RunFrame with drawing off,
// the second tick called every frameRate frames, both computer players on.
// afterFrame, when given, runs after every frame (for invariant checks).
void PlayHeadlessMatch(std::int32_t frameRate, std::int64_t seconds,
                       const std::function<void()>& afterFrame = {});
