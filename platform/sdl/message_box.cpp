// Message boxes on SDL: the Win32 button sets, Return picks the default
// button, Escape picks Cancel, or No where there is no Cancel.
#include <SDL.h>

#include <algorithm>
#include <string>

#include "platform/platform.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/unshown_box.h"

namespace platform {
namespace {

struct ButtonSet {
    SDL_MessageBoxButtonData buttons[3];
    int count = 0;
    int escapeId = kIdOk;
};

// The default button comes first, the others in their Windows order (Yes,
// No, Cancel). zenity, which SDL 3 asks before drawing a box itself and SDL 2
// falls back to, ignores which button SDL marks as the default and gives
// Return to the first; so the first is the default whoever draws the box.
ButtonSet ButtonsFor(std::uint32_t style) {
    ButtonSet set{};
    const std::uint32_t kind = style & kMbButtonsMask;
    if (kind == kMbYesNo || kind == kMbYesNoCancel) {
        set.buttons[set.count++] = {0, kIdYes, "Yes"};
        set.buttons[set.count++] = {0, kIdNo, "No"};
        set.escapeId = kIdNo;
        if (kind == kMbYesNoCancel) {
            set.buttons[set.count++] = {0, kIdCancel, "Cancel"};
            set.escapeId = kIdCancel;
        }
    } else {
        // Every other button set is shown as the one the game uses: OK.
        set.buttons[set.count++] = {0, kIdOk, "OK"};
    }
    const int defaultId = DefaultButton(style);
    SDL_MessageBoxButtonData* const end = set.buttons + set.count;
    SDL_MessageBoxButtonData* const chosen =
        std::find_if(set.buttons, end, [=](const SDL_MessageBoxButtonData& b) { return b.buttonid == defaultId; });
    if (chosen != end) {
        std::rotate(set.buttons, chosen, chosen + 1);
    }
    return set;
}

Uint32 IconFlags(std::uint32_t style) {
    switch (style & kMbIconMask) {
        case kMbIconWarning:
            return SDL_MESSAGEBOX_WARNING;
        case kMbIconInformation:
        case kMbIconQuestion:  // SDL has no question icon
            return SDL_MESSAGEBOX_INFORMATION;
        default:
            return 0;
    }
}

}  // namespace

int ShowMessageBox(const char* text, const char* caption, std::uint32_t style) {
    ButtonSet set = ButtonsFor(style);
    const int defaultId = DefaultButton(style);
    for (int i = 0; i < set.count; ++i) {
        if (set.buttons[i].buttonid == defaultId) {
            set.buttons[i].flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        }
        if (set.buttons[i].buttonid == set.escapeId) {
            set.buttons[i].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
        }
    }

    const SDL_MessageBoxData data{IconFlags(style) | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT,
                                  nullptr,
                                  caption,
                                  text,
                                  set.count,
                                  set.buttons,
                                  nullptr};
    const sdlbackend::BoxShown shown;
    int chosen = -1;
    // Without a display SDL's last resort, zenity, ends as if its box had been
    // closed, which would pass for an answer: it is not asked at all.
    std::string reason = sdlbackend::NoDisplayForBoxes();
    if (reason.empty()) {
        SDL_ClearError();  // the reason below must be this box's, not an older one
        if (SDL_ShowMessageBox(&data, &chosen) != 0) {
            reason = sdlbackend::BoxFailureReason(SDL_GetError());
        }
    }
    if (!reason.empty()) {
        ReportUnshownBox(text, caption, defaultId, reason.c_str());
        return defaultId;
    }
    // Closed without a button (the window manager's close button): taken as
    // Escape, the way Windows treats closing a box that has Cancel.
    return chosen < 0 ? set.escapeId : chosen;
}

}  // namespace platform
