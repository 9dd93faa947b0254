// NTFS keeps the attribute word and the creation time itself; ntfs-3g and the kernel's ntfs3
// driver show the word as system.ntfs_attrib_be, and ntfs-3g the creation time as
// system.ntfs_crtime_be (both big-endian).

#include "platform/fs/ExtendedAttribute.h"
#include "platform/fs/StoredState.h"

namespace kestrel::fs::ntfs {

namespace {

// What NTFS reports for a file with no other bit; never combined with another.
constexpr std::uint32_t kAttributeNormal = 0x80;

std::uint32_t WithoutNormal(std::uint32_t word) { return word & ~kAttributeNormal; }

std::vector<std::uint8_t> BigEndianBytes(std::uint64_t value, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = size; i > 0; --i) {
    bytes[i - 1] = static_cast<std::uint8_t>(value & 0xFF);
    value >>= 8;
  }
  return bytes;
}

Outcome PutWord(const std::string& path, std::uint32_t word) {
  return WriteExtendedAttribute(path, kAttribName, BigEndianBytes(word, sizeof word));
}

}  // namespace

Timestamp Creation(const StoredState& state) {
  if (state.ntfsCreation) return TimestampOf(*state.ntfsCreation);
  return state.birth.value_or(state.lastWrite);
}

Outcome WriteAttributeWord(const std::string& path, const StoredState& now, std::uint32_t attributes) {
  // The other bits (not indexed, offline, ...) stay as the file has them.
  const std::uint32_t word = (WithoutNormal(now.ntfsAttributes) & ~kFourAttributes) | (attributes & kFourAttributes);
  return word == WithoutNormal(now.ntfsAttributes) ? Outcome::Success() : PutWord(path, word);
}

Outcome WriteRecordedStore(const std::string& path, const StoredState& now, const FileRecord& record) {
  return record.attributes == now.ntfsAttributes ? Outcome::Success() : PutWord(path, record.attributes);
}

CreationWrite WriteCreationTime(const std::string& path, const StoredState& now, time::FileTime creation) {
  if (now.backend != Backend::NtfsFuse) return CreationWrite::NotPossible;
  return WriteExtendedAttribute(path, kCreationName, BigEndianBytes(creation, sizeof creation)) ? CreationWrite::Written
                                                                                                 : CreationWrite::Failed;
}

}  // namespace kestrel::fs::ntfs
