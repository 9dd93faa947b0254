#pragma once
// The bounded reading shared by the property-set codec. Every read of stored bytes goes through
// Slice, the one bounds check, so the checks can be audited in one place. Nothing here throws
// except std::bad_alloc.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/LittleEndian.h"

namespace kestrel::storage::propset {

using Bytes = std::vector<std::uint8_t>;

// [offset, offset + length) of `bytes`, or nullopt when it does not lie inside them.
inline std::optional<std::span<const std::uint8_t>> Slice(std::span<const std::uint8_t> bytes,
                                                          std::uint64_t offset, std::uint64_t length) {
  if (offset > bytes.size() || length > bytes.size() - offset) return std::nullopt;
  return bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
}

// Reads forward through untrusted bytes; a read that does not fit fails and leaves the position.
class ByteCursor {
 public:
  explicit ByteCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t Remaining() const { return bytes_.size() - position_; }

  std::optional<std::span<const std::uint8_t>> Take(std::uint64_t count) {
    std::optional<std::span<const std::uint8_t>> taken = Slice(bytes_, position_, count);
    if (taken) position_ += taken->size();
    return taken;
  }
  std::optional<std::uint16_t> U16() {
    std::optional<std::span<const std::uint8_t>> b = Take(2);
    if (!b) return std::nullopt;
    return le::Get16(b->data());
  }
  std::optional<std::uint32_t> U32() {
    std::optional<std::span<const std::uint8_t>> b = Take(4);
    if (!b) return std::nullopt;
    return le::Get32(b->data());
  }
  std::optional<std::uint64_t> U64() {
    std::optional<std::span<const std::uint8_t>> b = Take(8);
    if (!b) return std::nullopt;
    return le::Get64(b->data());
  }
  // Skips the zero bytes that pad `length` bytes to a multiple of 4; false when they are missing
  // or not zero.
  bool SkipZeroPadding(std::uint64_t length) {
    std::optional<std::span<const std::uint8_t>> padding = Take((4 - length % 4) % 4);
    return padding && IsZero(*padding);
  }
  bool RestIsZero() const { return IsZero(bytes_.subspan(position_)); }

 private:
  static bool IsZero(std::span<const std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) {
      if (b != 0) return false;
    }
    return true;
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

inline void PadTo4(Bytes& out) { out.resize((out.size() + 3) / 4 * 4, 0); }

// One property as stored: its id and the bytes from its offset to the next property's.
struct RawProperty {
  std::uint32_t pid = 0;
  Bytes raw;
};

}  // namespace kestrel::storage::propset
