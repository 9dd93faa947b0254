// The Huffman code lengths the compressor writes, declared apart so tests can stress the
// length limit directly (ordinary data rarely needs it).
// Nothing here throws.
#pragma once

#include <cstdint>
#include <span>

namespace kestrel::zip {

// Lengths for freq (at most 286 symbols), none longer than limit, forming a complete code of
// at least two codes even when fewer symbols occur. Unlimited, the lengths are Huffman's.
void BuildCodeLengths(std::span<const std::uint32_t> freq, unsigned limit, std::span<std::uint8_t> lengths);

}  // namespace kestrel::zip
