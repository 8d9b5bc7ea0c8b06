#include "tests/support/headless_match.h"

#include "platform/test/test_platform.h"
#include "timing/second_timer.h"
#include "world/frame_step.h"
#include "world/world_values.h"

void PlayHeadlessMatch(std::int32_t frameRate, std::int64_t seconds,
                       const std::function<void()>& afterFrame) {
    leftComputer = true;
    rightComputer = true;
    for (std::int64_t second = 0; second < seconds; ++second) {
        for (std::int32_t frame = 0; frame < frameRate; ++frame) {
            RunFrame();
            if (afterFrame) {
                afterFrame();
            }
        }
        OnSecondTick(timerId, 0, 0, 0, 0);
    }
}
