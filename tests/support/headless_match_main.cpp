// A whole process that plays a headless match: its static objects (the log
// among them) are built exactly as the game's are. Usage: [seconds] [rate].
#include <cstdlib>

#include "tests/support/headless_match.h"

int main(int argc, char** argv) {
    const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10;
    const long rate = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 90;
    PlayHeadlessMatch(static_cast<std::int32_t>(rate), seconds);
    return 0;
}
