#include "timing/second_timer.h"
#include "world/static_order.h"

// Opened (and so emptied) before the first question is asked. A log that
// cannot be created leaves the stream failed, and every write is skipped.
std::ofstream frameLog ZARVO_INIT_ORDER(kInitOrderLog)("vorn.txt");
