// Bitmap resources of the program's own module, as DIB sections.
#include <windows.h>

#include "platform/win32/handles.h"

namespace platform {

bool LoadBitmapResource(Module* module, int id, Bitmap* bitmap) {
    // LR_CREATEDIBSECTION keeps the stored 24-bit layout and gives the pixels.
    HANDLE image = LoadImageA(win32::ToHandle(module), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0,
                              LR_CREATEDIBSECTION);
    if (image == nullptr) {
        return false;
    }
    BITMAP record{};
    // Only a bottom-up 24-bit picture is what the caller reads the rows as;
    // anything else is treated like a missing picture rather than misread.
    if (GetObjectA(image, sizeof record, &record) != sizeof record || record.bmBits == nullptr ||
        record.bmBitsPixel != 24 || record.bmHeight <= 0) {
        DeleteObject(image);
        return false;
    }
    bitmap->width = record.bmWidth;
    bitmap->height = record.bmHeight;
    bitmap->bits = static_cast<const std::uint8_t*>(record.bmBits);
    bitmap->handle = image;
    return true;
}

void FreeBitmapResource(Bitmap* bitmap) {
    if (bitmap->handle != nullptr) {
        DeleteObject(static_cast<HGDIOBJ>(bitmap->handle));
    }
    *bitmap = Bitmap{};
}

}  // namespace platform
