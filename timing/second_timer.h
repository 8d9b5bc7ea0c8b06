#pragma once

#include <atomic>
#include <cstdint>
#include <fstream>

#include "platform/platform.h"

// Shared between the main thread (frame step) and the timer thread (tick).
// Each is exchanged whole and atomically; nothing is locked.
extern std::atomic<std::int32_t> framesThisSecond;
extern std::atomic<std::int32_t> framesPerSecond;
extern std::atomic<std::int32_t> trailInterval;

// Touched only by the tick while the timer runs.
extern std::int32_t secondsElapsed;
extern platform::TimerCaps timerCaps;
extern std::uint32_t timerId;

// "vorn.txt" in the working directory, created or emptied at process start.
extern std::ofstream frameLog;

// What a freshly started process has, before a second has been measured.
namespace initial {
inline constexpr std::int32_t kFramesThisSecond = 0;
inline constexpr std::int32_t kFramesPerSecond = 90;
inline constexpr std::int32_t kTrailInterval = 14;
inline constexpr std::int32_t kSecondsElapsed = 0;
inline constexpr platform::TimerCaps kTimerCaps{};
inline constexpr std::uint32_t kTimerId = 0;
}  // namespace initial

inline constexpr std::int32_t kSplashSeconds = 5;
inline constexpr std::int32_t kSecondsElapsedCap = 5000;

// Starts the periodic one-second tick with the finest timer resolution the
// device offers; false when any step fails.
bool StartSecondTimer(platform::TimerCaps* caps, std::uint32_t* id);

void OnSecondTick(std::uint32_t timerId, std::uint32_t message, std::uintptr_t user,
                  std::uintptr_t reserved1, std::uintptr_t reserved2);

// Frames between two shifts of the trail: the frames the ball needs to travel
// 0.2 court units horizontally, at least 1.
std::int32_t TrailIntervalFor(std::int32_t frameRate, double ballDx, double courtWidth);

// The frame rate that per-frame motion divides by: the last measured rate, or,
// after a second in which no frame ran, the last rate that was not zero.
std::int32_t FrameRateForMotion();
