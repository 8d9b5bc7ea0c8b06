// Placeholder until the pictures are linked in: every picture is missing.
#include "platform/embedded_bitmaps.h"

namespace platform {

bool LoadEmbeddedBitmap(int, Bitmap*) { return false; }

}  // namespace platform
