#pragma once

// The line a backend prints when it cannot show a message box and takes the
// default answer instead, so that a player (or a bug report) can tell why.
#include <cstdio>

#include "platform/platform.h"

namespace platform {

inline const char* ButtonText(int id) {
    switch (id) {
        case kIdYes:
            return "Yes";
        case kIdNo:
            return "No";
        case kIdCancel:
            return "Cancel";
        default:
            return "OK";
    }
}

inline void ReportUnshownBox(const char* text, const char* caption, int answer, const char* reason) {
    std::fprintf(stderr, "%s: %s [answered %s: the box could not be shown: %s]\n", caption, text, ButtonText(answer),
                 reason);
}

}  // namespace platform
