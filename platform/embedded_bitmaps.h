#pragma once

#include "platform/platform.h"

namespace platform {

// The seven pictures linked into the program, for systems without a resource
// loader of their own. Fills bitmap with rows that stay valid for the whole
// run; false for an unknown id or a picture whose data does not check out.
bool LoadEmbeddedBitmap(int id, Bitmap* bitmap);

}  // namespace platform
