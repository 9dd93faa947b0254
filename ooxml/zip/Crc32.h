// CRC-32 as ZIP records it for every entry (reflected, polynomial 0xEDB88320).
// Nothing here throws.
#pragma once

#include <cstdint>
#include <span>

namespace kestrel::zip {

// Chainable: Crc32(b, Crc32(a)) equals the CRC of a followed by b.
std::uint32_t Crc32(std::span<const std::uint8_t> data, std::uint32_t crc = 0);

}  // namespace kestrel::zip
