#include "app/game_main.h"

#include "app/game_window.h"
#include "app/window_events.h"
#include "timing/second_timer.h"
#include "world/frame_step.h"
#include "world/world_values.h"

int RunMessageLoop() {
    platform::Message msg;
    for (;;) {
        if (platform::PeekNextMessage(&msg)) {
            if (msg.message == platform::kWmQuit) {
                break;
            }
            platform::DispatchToWindow(msg);
            continue;
        }
        if (!windowActive) {
            continue;
        }
        if (keys[kKeyEscape]) {
            break;
        }
        RunFrame();
        if (gameWindowLost) {
            return 0;
        }
        platform::SwapWindowBuffers(hDC);
    }
    return static_cast<int>(msg.wParam);
}

void RunExitSequence() {
    platform::TimeKillEvent(timerId);
    platform::TimeEndPeriod(timerCaps.wPeriodMin);
    frameLog.close();
    if (!gameWindowLost) {
        CloseGameWindow();
    }
}

int GameMain() {
    if (platform::ShowMessageBox("Would you like to run in fullscreen mode?", "Start fullscreen?",
                                 platform::kMbYesNo | platform::kMbIconQuestion) == platform::kIdNo) {
        fullscreen = false;
    }
    if (!OpenGameWindow(windowTitle, kWindowWidth, kWindowHeight, kWindowBitsPerPixel, fullscreen)) {
        return 0;
    }
    const int status = RunMessageLoop();
    RunExitSequence();
    return status;
}
