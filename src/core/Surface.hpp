#pragma once

#include <cstdint>
#include <vector>

namespace kalvotune {

/// The 675 x 524 drawing surface of `Picture`: top-down rows of 675 blue-green-red pixels.
/// Each row holds 2025 pixel bytes followed by 3 bytes of padding, the layout of a 24-bit
/// bitmap row, so the window can show the buffer without copying it.
struct Surface {
    static constexpr int kWidth{675};
    static constexpr int kHeight{524};
    static constexpr int kRowBytes{2025};
    static constexpr int kStride{2028};

    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(static_cast<std::size_t>(kStride) * kHeight);
    /// Grows whenever the picture changes; the window repaints when it sees a new value.
    std::uint64_t revision{};

    std::uint8_t* Row(int y) { return bytes.data() + static_cast<std::size_t>(y) * kStride; }
    const std::uint8_t* Row(int y) const { return bytes.data() + static_cast<std::size_t>(y) * kStride; }
};

} // namespace kalvotune
