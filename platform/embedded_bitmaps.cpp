#include "platform/embedded_bitmaps.h"

#include "platform/dib.h"
#include "platform/embedded_bitmap_data.h"

namespace platform {

bool LoadEmbeddedBitmap(int id, Bitmap* bitmap) {
    for (std::size_t i = 0; i < kEmbeddedBitmapCount; ++i) {
        const EmbeddedBitmapData& picture = kEmbeddedBitmaps[i];
        if (picture.id != id) {
            continue;
        }
        DibView view;
        if (!ParsePackedDib(picture.data, picture.size, &view)) {
            return false;
        }
        bitmap->width = view.width;
        bitmap->height = view.height;
        bitmap->bits = view.bits;
        bitmap->handle = nullptr;
        return true;
    }
    return false;
}

}  // namespace platform
