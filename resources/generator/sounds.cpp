// The three sound effects, synthesised. Every sound starts and ends on a
// zero sample, fades in over a few milliseconds and out to exact silence,
// and peaks at about -6 dBFS.
#include <algorithm>
#include <cmath>

#include "art.hpp"

namespace resgen {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kPeak = 0.5;  // -6 dBFS

// Raised-cosine ramps at both ends; the outermost samples become 0.
void fadeEnds(std::vector<double>& s, double fadeInSeconds, double fadeOutSeconds) {
    const size_t n = s.size();
    const size_t in = std::max<size_t>(2, static_cast<size_t>(fadeInSeconds * kSampleRate));
    const size_t out = std::max<size_t>(2, static_cast<size_t>(fadeOutSeconds * kSampleRate));
    for (size_t i = 0; i < in && i < n; ++i) s[i] *= 0.5 - 0.5 * std::cos(kPi * i / in);
    for (size_t i = 0; i < out && i < n; ++i) s[n - 1 - i] *= 0.5 - 0.5 * std::cos(kPi * i / out);
}

std::vector<std::int16_t> finish(std::vector<double> s, double fadeIn, double fadeOut) {
    fadeEnds(s, fadeIn, fadeOut);
    double peak = 0;
    for (double v : s) peak = std::max(peak, std::abs(v));
    std::vector<std::int16_t> out(s.size());
    for (size_t i = 0; i < s.size(); ++i)
        out[i] = static_cast<std::int16_t>(std::lround(s[i] / peak * kPeak * 32767.0));
    out.front() = 0;
    out.back() = 0;
    return out;
}

size_t samplesFor(double seconds) { return static_cast<size_t>(std::lround(seconds * kSampleRate)); }

// length seconds of voice(phase, t), the phase following frequency(t) in Hz.
template <class Frequency, class Voice>
std::vector<double> sweep(double length, Frequency frequency, Voice voice) {
    std::vector<double> s(samplesFor(length));
    double phase = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        phase += 2 * kPi * frequency(t) / kSampleRate;
        s[i] = voice(phase, t);
    }
    return s;
}

}  // namespace

// A missed ball: a falling, slightly buzzy tone, 0.5 s, 330 Hz down to 150 Hz.
std::vector<std::int16_t> missSound() {
    const double length = 0.5;
    auto s = sweep(
        length, [&](double t) { return 330.0 * std::pow(150.0 / 330.0, t / length); },  // exponential glide
        [&](double phase, double t) {
            const double u = t / length;
            // Odd and even harmonics, the upper ones dying away faster.
            const double v = std::sin(phase) + 0.45 * std::exp(-2.0 * u) * std::sin(2 * phase) +
                             0.25 * std::exp(-3.0 * u) * std::sin(3 * phase) +
                             0.10 * std::exp(-4.0 * u) * std::sin(5 * phase);
            // Hold, then sag toward the end.
            const double env =
                (1.0 - 0.55 * u) * (u < 0.75 ? 1.0 : 0.5 + 0.5 * std::cos(kPi * (u - 0.75) / 0.25));
            return v * env;
        });
    return finish(std::move(s), 0.005, 0.030);
}

// The ball off the top or bottom wall: a short round knock around 700 Hz.
std::vector<std::int16_t> wallHitSound() {
    auto s = sweep(
        0.070, [](double t) { return 700.0 * (1.0 + 0.06 * std::exp(-t / 0.008)); },  // a hint of pitch drop on impact
        [](double phase, double t) {
            const double v = std::sin(phase) + 0.18 * std::sin(2 * phase) * std::exp(-t / 0.010);
            return v * std::exp(-t / 0.016);
        });
    return finish(std::move(s), 0.002, 0.012);
}

// The ball off a paddle: a brighter, hollow "pock" around 1100 Hz with an
// inharmonic overtone, like a small wooden block.
std::vector<std::int16_t> paddleHitSound() {
    auto s = sweep(
        0.090, [](double t) { return 1100.0 * (1.0 + 0.12 * std::exp(-t / 0.004)); },
        [](double phase, double t) {
            const double body = std::sin(phase) * std::exp(-t / 0.022);
            const double overtone = 0.45 * std::sin(2.76 * phase) * std::exp(-t / 0.008);
            const double ring = 0.20 * std::sin(5.40 * phase) * std::exp(-t / 0.004);
            return body + overtone + ring;
        });
    return finish(std::move(s), 0.0015, 0.015);
}

}  // namespace resgen
