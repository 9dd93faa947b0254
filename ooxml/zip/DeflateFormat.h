#pragma once
// The fixed tables of the Deflate format (RFC 1951), shared by the compressor and the
// decompressor so that the two cannot disagree.
// Tables only; nothing here throws.

#include <array>
#include <cstdint>

namespace kestrel::zip::format {

inline constexpr unsigned kMaxCodeLength = 15;
inline constexpr unsigned kEndOfBlock = 256;

// Match lengths 3..258 by length symbol 257..285: base and extra bits.
inline constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                              31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// The order in which a dynamic block header lists the code-length code's lengths.
inline constexpr std::array<std::uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                  11, 4,  12, 3, 13, 2, 14, 1, 15};

}  // namespace kestrel::zip::format
