// Deterministic inputs shared by the inflate and thumbnail-path benchmarks.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace bench_data {

using Bytes = std::vector<std::uint8_t>;

inline std::uint32_t Lcg(std::uint32_t& s) {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
}

// A side × side photo-like picture as 32-bit pixels (alpha in the top byte,
// then red, green, blue): smooth gradients of every channel under a little
// noise, as a camera picture's preview has, fully opaque. The same side gives
// the same pixels on every run.
inline std::vector<std::uint32_t> PhotoPixels(int side) {
    std::vector<std::uint32_t> pixels;
    pixels.reserve(static_cast<std::size_t>(side) * static_cast<std::size_t>(side));
    std::uint32_t s = 7;
    const double k = 6.283185307179586 / side;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const double wave = std::sin(x * k * 1.3 + 0.5) * std::cos(y * k * 0.8);
            const double slope = static_cast<double>(x + y) / (2.0 * side);
            const int smooth[3] = {static_cast<int>(128 + 90 * wave),
                                   static_cast<int>(40 + 170 * slope),
                                   static_cast<int>(200 - 120 * slope + 30 * wave)};
            std::uint32_t pixel = 0xFF000000u;
            for (int c = 0; c < 3; ++c) {
                int v = smooth[c] + static_cast<int>(Lcg(s) % 9) - 4;
                v = v < 0 ? 0 : v > 255 ? 255 : v;
                pixel |= static_cast<std::uint32_t>(v) << (16 - 8 * c);
            }
            pixels.push_back(pixel);
        }
    }
    return pixels;
}

// The pixels as the bytes a little-endian BGRA preview stores.
inline Bytes PhotoBytes(int side) {
    Bytes out;
    for (std::uint32_t p : PhotoPixels(side)) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<std::uint8_t>(p >> (8 * i)));
        }
    }
    return out;
}

} // namespace bench_data
