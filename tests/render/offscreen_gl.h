#pragma once

// A real Mesa GL context drawing into memory (OSMesa), the size of the game
// window, and what the tests need to look at its pixels.

#include <GL/osmesa.h>

#include <cstdint>
#include <ostream>
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

    // Creates the context (RGBA, 16 depth bits) and makes it current.
    OffscreenGl();
    ~OffscreenGl();
    OffscreenGl(const OffscreenGl&) = delete;
    OffscreenGl& operator=(const OffscreenGl&) = delete;

    bool IsCurrent() const { return current_; }

    // Finishes drawing and reads the whole frame back with glReadPixels.
    void ReadFrame();
    // The pixel read last at this column and row, row 0 at the bottom.
    Rgb At(int column, int row) const;

private:
    OSMesaContext context_ = nullptr;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint8_t> frame_;
    bool current_ = false;
};

// Where the view puts scene point (x, y, 0) on the 1152 by 864 frame: the
// 45 degree perspective at aspect 4:3, seen from 6 units away. Pixel column c
// covers [c, c + 1).
double ScreenX(double x);
double ScreenY(double y);
// The pixel whose area holds that point.
int ColumnOf(double x);
int RowOf(double y);
