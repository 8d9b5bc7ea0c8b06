#include "timing/second_timer.h"
#include "world/static_order.h"

namespace {

// Created or emptied, then opened again for appending: each flushed line then
// goes to the file's end in one write, so it stays whole even where another
// copy of the game, started in the same folder, writes its own lines too.
const char* Emptied(const char* name) {
    std::ofstream(name, std::ios::trunc);
    return name;
}

}  // namespace

// Opened (and so emptied) before the first question is asked. A log that
// cannot be created leaves the stream failed, and every write is skipped.
std::ofstream frameLog ZARVO_INIT_ORDER(kInitOrderLog)(Emptied("vorn.txt"), std::ios::app);
