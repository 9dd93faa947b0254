// Compression to raw Deflate (no zlib or gzip wrapper), as ZIP entries store it.
// Nothing here throws except std::bad_alloc.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kestrel::zip {

// The whole input in one stream, compressed about as well as zlib's level 6. Empty input gives
// a valid stream that decodes to nothing.
std::vector<std::uint8_t> Deflate(std::span<const std::uint8_t> input);

}  // namespace kestrel::zip
