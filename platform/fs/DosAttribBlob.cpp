#include "platform/fs/DosAttribBlob.h"

#include <algorithm>
#include <cstddef>

#include "platform/LittleEndian.h"

namespace kestrel::fs {
namespace {

constexpr std::uint32_t kV1Flags =
    kDosInfoAttrib | kDosInfoEaSize | kDosInfoSize | kDosInfoAllocSize | kDosInfoCreateTime | kDosInfoChangeTime;

// Little-endian reads that refuse to run past the end; the blob is untrusted.
class Reader {
 public:
  Reader(std::span<const std::uint8_t> bytes, std::size_t position) : bytes_(bytes), position_(position) {}

  // NDR pads relative to the start of the blob.
  bool Align(std::size_t alignment) {
    position_ = (position_ + alignment - 1) / alignment * alignment;
    return position_ <= bytes_.size();
  }

  template <typename T>
  bool Read(T& value) {
    if (position_ > bytes_.size() || bytes_.size() - position_ < sizeof(T)) return false;
    value = static_cast<T>(le::Get(&bytes_[position_], sizeof(T)));
    position_ += sizeof(T);
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_;
};

class Writer {
 public:
  void Align(std::size_t alignment) {
    while (bytes_.size() % alignment != 0) bytes_.push_back(0);
  }

  template <typename T>
  void Write(T value) {
    le::Append(bytes_, value, sizeof(T));
  }

  std::vector<std::uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

int HexDigit(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "0x" and 1 to 8 hex digits: what "0x%x" of a 32-bit word prints.
std::optional<std::uint32_t> ParseAttribHex(std::span<const std::uint8_t> text) {
  if (text.size() < 3 || text.size() > 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  for (std::uint8_t c : text.subspan(2)) {
    const int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<std::uint32_t>(digit);
  }
  return value;
}

void WriteAttribHex(Writer& writer, std::uint32_t value) {
  writer.Write(std::uint8_t{'0'});
  writer.Write(std::uint8_t{'x'});
  int shift = 28;
  while (shift > 0 && (value >> shift) == 0) shift -= 4;
  for (; shift >= 0; shift -= 4) writer.Write(static_cast<std::uint8_t>("0123456789abcdef"[(value >> shift) & 0xF]));
}

bool ReadBody(Reader& reader, DosAttribBlob& blob) {
  switch (blob.version) {
    case 1:
      blob.validFlags = kV1Flags;
      return reader.Read(blob.attributes) && reader.Read(blob.eaSize) && reader.Read(blob.size) &&
             reader.Read(blob.allocSize) && reader.Read(blob.createTime) && reader.Read(blob.changeTime);
    case 3:
      return reader.Read(blob.validFlags) && reader.Read(blob.attributes) && reader.Read(blob.eaSize) &&
             reader.Read(blob.size) && reader.Read(blob.allocSize) && reader.Read(blob.createTime) &&
             reader.Read(blob.changeTime);
    case 4:
      return reader.Read(blob.validFlags) && reader.Read(blob.attributes) && reader.Read(blob.itime) &&
             reader.Read(blob.createTime);
    case 5:
      return reader.Read(blob.validFlags) && reader.Read(blob.attributes) && reader.Read(blob.createTime);
    default:
      return false;
  }
}

}  // namespace

std::optional<std::uint64_t> DosAttribBlob::ValidCreateTime() const {
  if ((validFlags & kDosInfoCreateTime) == 0) return std::nullopt;
  return createTime;
}

std::optional<DosAttribBlob> ParseDosAttribBlob(std::span<const std::uint8_t> bytes) {
  const auto nul = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
  if (nul == bytes.end()) return std::nullopt;
  const std::size_t textLength = static_cast<std::size_t>(nul - bytes.begin());
  const auto text = bytes.first(textLength);
  const std::optional<std::uint32_t> hexValue = ParseAttribHex(text);
  if (!text.empty() && !hexValue) return std::nullopt;

  DosAttribBlob blob;
  if (textLength + 1 == bytes.size()) {
    if (!hexValue) return std::nullopt;
    blob.version = kDosAttribLegacy;
    blob.validFlags = kDosInfoAttrib;
    blob.attributes = *hexValue;
    return blob;
  }

  // The versioned forms carry the word in the body too; the body's copy is the one that counts.
  Reader reader(bytes, textLength + 1);
  std::uint16_t level = 0;
  if (!reader.Align(2) || !reader.Read(blob.version) || !reader.Read(level) || level != blob.version ||
      !reader.Align(4) || !ReadBody(reader, blob)) {
    return std::nullopt;
  }
  return blob;
}

std::vector<std::uint8_t> EncodeDosAttribBlob(const DosAttribBlob& blob) {
  Writer writer;
  const std::uint16_t version = blob.version;
  if (version != kDosAttribLegacy && version != 1 && version != 3 && version != 4 && version != 5) return {};
  if (version <= 3) WriteAttribHex(writer, blob.attributes);
  writer.Write(std::uint8_t{0});
  if (version == kDosAttribLegacy) return std::move(writer.Bytes());

  writer.Align(2);
  writer.Write(version);
  writer.Write(version);  // the level
  writer.Align(4);
  if (version != 1) writer.Write(blob.validFlags);
  writer.Write(blob.attributes);
  if (version <= 3) {
    writer.Write(blob.eaSize);
    writer.Write(blob.size);
    writer.Write(blob.allocSize);
  }
  if (version == 4) writer.Write(blob.itime);
  writer.Write(blob.createTime);
  if (version <= 3) writer.Write(blob.changeTime);
  return std::move(writer.Bytes());
}

std::vector<std::uint8_t> UpdateDosAttribBlob(std::optional<std::span<const std::uint8_t>> existing,
                                              std::uint32_t attributes, std::optional<std::uint64_t> createTime) {
  std::optional<DosAttribBlob> blob;
  if (existing) blob = ParseDosAttribBlob(*existing);
  if (!blob || blob->version == kDosAttribLegacy) blob = DosAttribBlob{};
  blob->attributes = attributes;
  blob->validFlags |= kDosInfoAttrib;
  if (createTime) {
    blob->createTime = *createTime;
    blob->validFlags |= kDosInfoCreateTime;
  }
  return EncodeDosAttribBlob(*blob);
}

}  // namespace kestrel::fs
