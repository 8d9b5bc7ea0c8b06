#pragma once

// A real Mesa GL context with no display: llvmpipe through EGL, drawing into
// a buffer the size of the game window, and what the tests need to look at
// its pixels.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;

    int Sum() const { return r + g + b; }
    bool IsBlack() const { return r == 0 && g == 0 && b == 0; }
    friend bool operator==(const Rgb&, const Rgb&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Rgb& c) {
        return os << '(' << c.r << ", " << c.g << ", " << c.b << ')';
    }
};

class OffscreenGl {
public:
    static constexpr int kWidth = 1152;
    static constexpr int kHeight = 864;
    // What the game asks of a window: 8 bits a colour channel, 16 depth bits.
    static constexpr int kChannelBits = 8;
    static constexpr int kDepthBits = 16;

    // Creates the context and makes it current, or says in Problem() why not.
    OffscreenGl();
    ~OffscreenGl();
    OffscreenGl(const OffscreenGl&) = delete;
    OffscreenGl& operator=(const OffscreenGl&) = delete;

    bool IsCurrent() const { return problem_.empty(); }
    const std::string& Problem() const { return problem_; }
    // The renderer, its GL version and the bits it gave, in one line.
    const std::string& Description() const { return description_; }

    // Finishes drawing and reads the whole frame back with glReadPixels.
    void ReadFrame();
    // The pixel read last at this column and row, row 0 at the bottom.
    Rgb At(int column, int row) const;

private:
    void Create();

    // EGL's handles (EGLDisplay, EGLContext, EGLSurface), kept out of this
    // header so that the tests do not see EGL's headers.
    void* display_ = nullptr;
    void* context_ = nullptr;
    void* surface_ = nullptr;
    std::string problem_;
    std::string description_;
    std::vector<std::uint8_t> frame_;
};

// Where the view puts scene point (x, y, 0) on the 1152 by 864 frame: the
// 45 degree perspective at aspect 4:3, seen from 6 units away. Pixel column c
// covers [c, c + 1).
double ScreenX(double x);
double ScreenY(double y);
// The pixel whose area holds that point.
int ColumnOf(double x);
int RowOf(double y);
