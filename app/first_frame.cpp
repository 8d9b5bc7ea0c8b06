#include "app/game_main.h"
#include "app/game_window.h"
#include "timing/second_timer.h"
#include "world/frame_step.h"

bool gameWindowLost = initial::kGameWindowLost;

void StartTimerOnFirstFrame() {
    if (StartSecondTimer(&timerCaps, &timerId)) {
        return;
    }
    platform::ShowMessageBox("Timer-setting error.", "Error",
                             platform::kMbOk | platform::kMbIconWarning);
    CloseGameWindow();
    // The window is gone and no quit message will come: the main loop ends
    // the program after this frame.
    gameWindowLost = true;
}
