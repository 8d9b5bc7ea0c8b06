#include "tests/render/offscreen_gl.h"

#include <cmath>
#include <cstdlib>

OffscreenGl::OffscreenGl()
    : buffer_(static_cast<std::size_t>(kWidth) * kHeight * 4), frame_(buffer_.size()) {
    // llvmpipe then draws on this thread. With its rasterizer threads, Mesa
    // frees a fence while one of them still signals it, which
    // ThreadSanitizer reports about every other run; read before the first
    // context is made.
    setenv("LP_NUM_THREADS", "0", 1);
    context_ = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
    if (context_ != nullptr) {
        current_ = OSMesaMakeCurrent(context_, buffer_.data(), GL_UNSIGNED_BYTE, kWidth, kHeight) == GL_TRUE;
    }
}

OffscreenGl::~OffscreenGl() {
    if (context_ != nullptr) {
        OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
        OSMesaDestroyContext(context_);
    }
}

void OffscreenGl::ReadFrame() {
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, frame_.data());
}

Rgb OffscreenGl::At(int column, int row) const {
    if (column < 0 || column >= kWidth || row < 0 || row >= kHeight) {
        return Rgb{-1, -1, -1};
    }
    const std::size_t i = (static_cast<std::size_t>(row) * kWidth + column) * 4;
    return Rgb{frame_[i], frame_[i + 1], frame_[i + 2]};
}

namespace {

const double kHalfHeight = 6.0 * std::tan(22.5 * 3.14159265358979323846 / 180.0);
const double kHalfWidth = kHalfHeight * OffscreenGl::kWidth / OffscreenGl::kHeight;

}  // namespace

double ScreenX(double x) { return OffscreenGl::kWidth / 2.0 * (1.0 + x / kHalfWidth); }
double ScreenY(double y) { return OffscreenGl::kHeight / 2.0 * (1.0 + y / kHalfHeight); }
int ColumnOf(double x) { return static_cast<int>(std::floor(ScreenX(x))); }
int RowOf(double y) { return static_cast<int>(std::floor(ScreenY(y))); }
