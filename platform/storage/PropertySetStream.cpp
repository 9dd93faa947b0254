#include "platform/storage/PropertySetStream.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <string_view>

#include "platform/storage/PropertySetBytes.h"
#include "platform/storage/PropertySetRecode.h"
#include "platform/text/CodePage.h"

namespace kestrel::storage {

namespace {

using propset::AppendU16;
using propset::AppendU32;
using propset::AppendU64;
using propset::ByteCursor;
using propset::Bytes;
using propset::PadTo4;
using propset::PutU32;
using propset::RawProperty;
using propset::Slice;

constexpr std::size_t kHeaderSize = 28;
constexpr std::size_t kSectionListEntrySize = 20;  // FMTID and offset
constexpr std::size_t kSectionHeaderSize = 8;      // size and property count
constexpr std::size_t kTableEntrySize = 8;         // pid and offset
// Real streams have one or two sections; more is damage or a hostile file.
constexpr std::uint32_t kMaxSections = 8;
constexpr std::uint32_t kSystemIdentifierWindows = 0x0002000A;
constexpr unsigned kDefaultCodePage = text::kCodePageShiftJis;

std::string_view AsChars(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::string CutAtNul(std::string text) {
  text.resize(std::min(text.size(), text.find('\0')));
  return text;
}

// Decodes the typed value at the front of `bytes` (which run to the section's end).
std::optional<PropertyValue> DecodeValue(std::span<const std::uint8_t> bytes, unsigned codePage) {
  ByteCursor in(bytes);
  std::optional<std::uint16_t> type = in.U16();
  if (!type || !in.Take(2)) return std::nullopt;
  PropertyValue value;
  value.type = *type;
  switch (*type) {
    case kVtI1:
    case kVtUi1: {
      std::optional<std::span<const std::uint8_t>> b = in.Take(1);
      if (!b) return std::nullopt;
      value.integer = *type == kVtI1 ? static_cast<std::int8_t>((*b)[0]) : (*b)[0];
      return value;
    }
    case kVtI2:
    case kVtBool:
    case kVtUi2: {
      std::optional<std::uint16_t> v = in.U16();
      if (!v) return std::nullopt;
      value.integer = *type == kVtUi2 ? *v : static_cast<std::int16_t>(*v);
      return value;
    }
    case kVtI4:
    case kVtInt:
    case kVtError:
    case kVtUi4:
    case kVtUint: {
      std::optional<std::uint32_t> v = in.U32();
      if (!v) return std::nullopt;
      const bool isSigned = *type == kVtI4 || *type == kVtInt || *type == kVtError;
      value.integer = isSigned ? static_cast<std::int32_t>(*v) : static_cast<std::int64_t>(*v);
      return value;
    }
    case kVtI8:
    case kVtUi8:
    case kVtFiletime: {
      std::optional<std::uint64_t> v = in.U64();
      if (!v) return std::nullopt;
      value.integer = static_cast<std::int64_t>(*v);
      return value;
    }
    case kVtR4: {
      std::optional<std::uint32_t> v = in.U32();
      if (!v) return std::nullopt;
      value.real = std::bit_cast<float>(*v);
      return value;
    }
    case kVtR8: {
      std::optional<std::uint64_t> v = in.U64();
      if (!v) return std::nullopt;
      value.real = std::bit_cast<double>(*v);
      return value;
    }
    case kVtClsid: {
      std::optional<std::span<const std::uint8_t>> b = in.Take(16);
      if (!b) return std::nullopt;
      value.guid = Guid::FromBytes(b->first<16>());
      return value;
    }
    case kVtLpstr:
    case kVtBstr: {
      std::optional<std::uint32_t> size = in.U32();
      std::optional<std::span<const std::uint8_t>> b = size ? in.Take(*size) : std::nullopt;
      if (!b) return std::nullopt;
      value.text = CutAtNul(text::ToUtf8Lossy(AsChars(*b), codePage));
      return value;
    }
    case kVtLpwstr: {
      std::optional<std::uint32_t> length = in.U32();
      std::optional<std::span<const std::uint8_t>> b = length ? in.Take(std::uint64_t{*length} * 2) : std::nullopt;
      if (!b) return std::nullopt;
      value.text = CutAtNul(text::ToUtf8Lossy(AsChars(*b), text::kCodePageUtf16Le));
      return value;
    }
    default:  // empty, null, and the types shown by their type alone
      return value;
  }
}

// The value bytes a Write stores, or nullopt for a type Write does not set or a value it cannot hold.
std::optional<Bytes> EncodeValue(const PropertyValue& value, unsigned codePage) {
  Bytes out;
  AppendU16(out, value.type);
  AppendU16(out, 0);
  switch (value.type) {
    case kVtNull:
      return out;
    case kVtInt:
      if (value.integer < std::numeric_limits<std::int32_t>::min() ||
          value.integer > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
      }
      AppendU32(out, static_cast<std::uint32_t>(value.integer));
      return out;
    case kVtFiletime:
      AppendU64(out, static_cast<std::uint64_t>(value.integer));
      return out;
    case kVtLpstr:
    case kVtLpwstr: {
      const bool wide = value.type == kVtLpwstr;
      const unsigned encoding = wide ? text::kCodePageUtf16Le : codePage;
      std::optional<std::string> encoded = text::FromUtf8(CutAtNul(value.text), encoding);
      if (!encoded) return std::nullopt;
      encoded->append(encoding == text::kCodePageUtf16Le ? 2 : 1, '\0');
      const std::size_t count = wide ? encoded->size() / 2 : encoded->size();
      if (count > UINT32_MAX) return std::nullopt;
      AppendU32(out, static_cast<std::uint32_t>(count));
      out.insert(out.end(), encoded->begin(), encoded->end());
      PadTo4(out);
      return out;
    }
    default:
      return std::nullopt;
  }
}

// Each property's bytes from its offset to the next larger offset (or the section end). Only
// exact when the offsets rise strictly in table order; shared or unsorted offsets make the
// extent of a value a guess, so such a section is not rebuilt.
std::optional<std::vector<RawProperty>> SplitProperties(std::span<const std::uint8_t> section,
                                                        std::span<const std::uint32_t> pids,
                                                        std::span<const std::uint32_t> offsets) {
  std::vector<RawProperty> properties;
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    const std::size_t end = i + 1 < offsets.size() ? offsets[i + 1] : section.size();
    if (end <= offsets[i]) return std::nullopt;
    std::optional<std::span<const std::uint8_t>> raw = Slice(section, offsets[i], end - offsets[i]);
    if (!raw) return std::nullopt;
    properties.push_back({pids[i], Bytes(raw->begin(), raw->end())});
  }
  return properties;
}

// Size, count, table, then the values in table order, each starting on a 4-byte boundary.
std::optional<Bytes> BuildSection(std::span<const RawProperty> properties) {
  Bytes out(kSectionHeaderSize + kTableEntrySize * properties.size(), 0);
  for (std::size_t i = 0; i < properties.size(); ++i) {
    PadTo4(out);
    if (out.size() > UINT32_MAX) return std::nullopt;
    const std::size_t entry = kSectionHeaderSize + kTableEntrySize * i;
    PutU32(out, entry, properties[i].pid);
    PutU32(out, entry + 4, static_cast<std::uint32_t>(out.size()));
    out.insert(out.end(), properties[i].raw.begin(), properties[i].raw.end());
  }
  PadTo4(out);
  if (out.size() > UINT32_MAX) return std::nullopt;
  PutU32(out, 0, static_cast<std::uint32_t>(out.size()));
  PutU32(out, 4, static_cast<std::uint32_t>(properties.size()));
  return out;
}

}  // namespace

PropertySetStream::Section* PropertySetStream::FindSection(const Guid& fmtid) {
  auto it = std::find_if(sections_.begin(), sections_.end(), [&](const Section& s) { return s.fmtid == fmtid; });
  return it == sections_.end() ? nullptr : &*it;
}

const PropertySetStream::Section* PropertySetStream::FindSection(const Guid& fmtid) const {
  auto it = std::find_if(sections_.begin(), sections_.end(), [&](const Section& s) { return s.fmtid == fmtid; });
  return it == sections_.end() ? nullptr : &*it;
}

std::optional<PropertySetStream> PropertySetStream::Parse(std::span<const std::uint8_t> bytes) {
  ByteCursor header(bytes);
  std::optional<std::uint16_t> byteOrder = header.U16();
  std::optional<std::uint16_t> version = header.U16();
  if (byteOrder != 0xFFFE || (version != 0 && version != 1)) return std::nullopt;
  if (!header.Take(4 + 16)) return std::nullopt;  // system identifier, class id
  std::optional<std::uint32_t> sectionCount = header.U32();
  if (!sectionCount || *sectionCount > kMaxSections) return std::nullopt;

  PropertySetStream stream;
  stream.sections_.reserve(*sectionCount);
  std::copy_n(bytes.begin(), kHeaderSize, stream.header_.begin());
  const std::size_t listEnd = kHeaderSize + kSectionListEntrySize * *sectionCount;
  for (std::uint32_t s = 0; s < *sectionCount; ++s) {
    std::optional<std::span<const std::uint8_t>> fmtid = header.Take(16);
    std::optional<std::uint32_t> offset = fmtid ? header.U32() : std::nullopt;
    if (!offset || *offset < listEnd) return std::nullopt;
    std::optional<std::span<const std::uint8_t>> sizeField = Slice(bytes, *offset, 4);
    if (!sizeField) return std::nullopt;
    const std::uint32_t size = propset::LoadU32(sizeField->first<4>());
    std::optional<std::span<const std::uint8_t>> sectionBytes = Slice(bytes, *offset, size);
    if (!sectionBytes || size < kSectionHeaderSize) return std::nullopt;

    Section section;
    section.fmtid = Guid::FromBytes(fmtid->first<16>());
    section.bytes.assign(sectionBytes->begin(), sectionBytes->end());
    ByteCursor table(section.bytes);
    table.Take(4);
    std::optional<std::uint32_t> count = table.U32();
    if (!count || *count > (size - kSectionHeaderSize) / kTableEntrySize) return std::nullopt;
    const std::size_t tableEnd = kSectionHeaderSize + kTableEntrySize * *count;
    section.table.reserve(*count);  // bounded by the section's size, checked above
    for (std::uint32_t i = 0; i < *count; ++i) {
      std::optional<std::uint32_t> pid = table.U32();
      std::optional<std::uint32_t> valueOffset = pid ? table.U32() : std::nullopt;
      // A value starts after the table and inside the section.
      if (!valueOffset || *valueOffset < tableEnd || *valueOffset >= size) return std::nullopt;
      section.table.push_back({*pid, *valueOffset});
    }
    stream.sections_.push_back(std::move(section));
  }
  stream.unchanged_.emplace(bytes.begin(), bytes.end());
  stream.minimumSize_ = bytes.size();
  return stream;
}

PropertySetStream PropertySetStream::Create(const Guid& fmtid, unsigned codePage) {
  PropertySetStream stream;
  Bytes header;
  AppendU16(header, 0xFFFE);
  AppendU16(header, 0);
  AppendU32(header, kSystemIdentifierWindows);
  const std::array<std::uint8_t, 16> clsid = fmtid.ToBytes();
  header.insert(header.end(), clsid.begin(), clsid.end());
  AppendU32(header, 0);
  std::copy_n(header.begin(), kHeaderSize, stream.header_.begin());
  stream.AddSection(fmtid, codePage);
  return stream;
}

bool PropertySetStream::HasSection(const Guid& fmtid) const { return FindSection(fmtid) != nullptr; }

std::optional<unsigned> PropertySetStream::CodePage(const Guid& fmtid) const {
  const Section* section = FindSection(fmtid);
  if (section == nullptr) return std::nullopt;
  return CodePageOf(*section);
}

std::optional<unsigned> PropertySetStream::CodePageOf(const Section& section) {
  for (const Section::Entry& entry : section.table) {
    if (entry.pid != kPidCodePage) continue;
    std::optional<PropertyValue> value = DecodeValue(std::span(section.bytes).subspan(entry.offset), 0);
    if (!value || value->type != kVtI2) return std::nullopt;
    return static_cast<std::uint16_t>(value->integer);
  }
  return kDefaultCodePage;
}

std::optional<PropertyValue> PropertySetStream::Read(const Guid& fmtid, std::uint32_t pid) const {
  const Section* section = FindSection(fmtid);
  if (section == nullptr || pid == kPidDictionary) return std::nullopt;
  for (const Section::Entry& entry : section->table) {
    if (entry.pid == pid) {
      return DecodeValue(std::span(section->bytes).subspan(entry.offset), CodePageOf(*section).value_or(kDefaultCodePage));
    }
  }
  return std::nullopt;
}

bool PropertySetStream::Write(const Guid& fmtid, std::uint32_t pid, const PropertyValue& value) {
  Section* section = FindSection(fmtid);
  // The code page and the dictionary describe the other values; they are not set one by one.
  if (section == nullptr || pid == kPidDictionary || pid == kPidCodePage) return false;

  std::vector<std::uint32_t> pids;
  std::vector<std::uint32_t> offsets;
  for (const Section::Entry& entry : section->table) {
    if (!offsets.empty() && entry.offset <= offsets.back()) return false;
    pids.push_back(entry.pid);
    offsets.push_back(entry.offset);
  }
  std::optional<std::vector<RawProperty>> properties = SplitProperties(section->bytes, pids, offsets);
  if (!properties) return false;
  // A value that runs past its own bytes overlaps the next value or is cut off by the section
  // end; once values move it would read as something else.
  for (const RawProperty& property : *properties) {
    if (property.pid != kPidDictionary && !DecodeValue(property.raw, 0)) return false;
  }

  std::optional<Bytes> raw;
  if (value.type == kVtLpstr) {
    std::optional<unsigned> codePage = CodePage(fmtid);
    // UTF-16BE and UTF-32 sets would need a terminator wider than the byte we write; no writer
    // makes such sets, so they are left alone.
    if (!codePage || *codePage == 1201 || *codePage == 12000 || *codePage == 12001) return false;
    raw = EncodeValue(value, *codePage);
    if (!raw) {
      // The text needs more than the code page holds: switch the section to UTF-8 when every
      // string in it converts exactly; never store question marks.
      if (*codePage == text::kCodePageUtf8 || *codePage == text::kCodePageUtf16Le ||
          !text::IsKnownCodePage(*codePage)) {
        return false;
      }
      properties = propset::RecodeSectionToUtf8(*properties, *codePage);
      if (!properties) return false;
      raw = EncodeValue(value, text::kCodePageUtf8);
    }
  } else {
    raw = EncodeValue(value, 0);
  }
  if (!raw) return false;

  auto slot = std::find_if(properties->begin(), properties->end(), [&](const RawProperty& p) { return p.pid == pid; });
  if (slot != properties->end()) {
    slot->raw = std::move(*raw);
  } else {
    properties->push_back({pid, std::move(*raw)});
  }
  std::optional<Bytes> rebuilt = BuildSection(*properties);
  if (!rebuilt) return false;

  section->bytes = std::move(*rebuilt);
  section->table.clear();
  for (std::size_t i = 0; i < properties->size(); ++i) {
    const std::size_t at = kSectionHeaderSize + kTableEntrySize * i;
    section->table.push_back({(*properties)[i].pid, propset::LoadU32(std::span(section->bytes).subspan(at + 4).first<4>())});
  }
  unchanged_.reset();
  return true;
}

void PropertySetStream::AddSection(const Guid& fmtid, unsigned codePage) {
  if (HasSection(fmtid)) return;
  const RawProperty codePageProperty{kPidCodePage, propset::CodePageValue(codePage)};
  Section section;
  section.fmtid = fmtid;
  section.bytes = *BuildSection(std::span(&codePageProperty, 1));
  section.table.push_back({kPidCodePage, static_cast<std::uint32_t>(kSectionHeaderSize + kTableEntrySize)});
  // The document summary section comes before the user-defined one that shares its stream.
  const auto at = fmtid == kFmtidDocSummaryInformation ? sections_.begin() : sections_.end();
  sections_.insert(at, std::move(section));
  unchanged_.reset();
}

std::vector<std::uint8_t> PropertySetStream::Serialize() const {
  if (unchanged_) return *unchanged_;
  Bytes out(header_.begin(), header_.end());
  PutU32(out, kHeaderSize - 4, static_cast<std::uint32_t>(sections_.size()));
  for (const Section& section : sections_) {
    const std::array<std::uint8_t, 16> fmtid = section.fmtid.ToBytes();
    out.insert(out.end(), fmtid.begin(), fmtid.end());
    AppendU32(out, 0);
  }
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    PadTo4(out);
    PutU32(out, kHeaderSize + kSectionListEntrySize * s + 16, static_cast<std::uint32_t>(out.size()));
    out.insert(out.end(), sections_[s].bytes.begin(), sections_[s].bytes.end());
  }
  if (out.size() < minimumSize_) out.resize(minimumSize_, 0);
  return out;
}

}  // namespace kestrel::storage
