// The picture store of the headless tests: every picture is missing.
#include "platform/embedded_bitmaps.h"

namespace platform {

bool LoadEmbeddedBitmap(int, Bitmap*) { return false; }

}  // namespace platform
