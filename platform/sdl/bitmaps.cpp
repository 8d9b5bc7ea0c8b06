// Linux programs carry no resources of the Windows kind: the pictures are
// linked into the program and found by the same ids.
#include "platform/embedded_bitmaps.h"
#include "platform/platform.h"

namespace platform {

bool LoadBitmapResource(Module*, int id, Bitmap* bitmap) { return LoadEmbeddedBitmap(id, bitmap); }

// The rows belong to the program image; nothing is freed.
void FreeBitmapResource(Bitmap* bitmap) { *bitmap = Bitmap(); }

}  // namespace platform
