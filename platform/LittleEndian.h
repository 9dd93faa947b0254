#pragma once
// Little-endian loads and stores of 16, 32 and 64 bits, the byte order of every format we read
// and write (compound files, property sets, Word's FIB and DOP, ZIP, Samba's attribute blob).
// The caller has checked that the bytes are there. Nothing here throws except std::bad_alloc,
// from appending.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrel::le {

inline std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t Get64(const std::uint8_t* p) { return Get32(p) | (std::uint64_t{Get32(p + 4)} << 32); }
// The `width` bytes at p (at most 8), for fields whose width is a parameter.
inline std::uint64_t Get(const std::uint8_t* p, std::size_t width) {
  std::uint64_t v = 0;
  for (std::size_t i = width; i-- > 0;) v = v << 8 | p[i];
  return v;
}

inline void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void Put64(std::uint8_t* p, std::uint64_t v) {
  Put32(p, static_cast<std::uint32_t>(v));
  Put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

// Appended byte by byte: GCC's overflow warning misreads a resize followed by a store.
inline void Append(std::vector<std::uint8_t>& out, std::uint64_t v, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void Append16(std::vector<std::uint8_t>& out, std::uint16_t v) { Append(out, v, 2); }
inline void Append32(std::vector<std::uint8_t>& out, std::uint32_t v) { Append(out, v, 4); }
inline void Append64(std::vector<std::uint8_t>& out, std::uint64_t v) { Append(out, v, 8); }

}  // namespace kestrel::le
