#include "platform/storage/PropertySetStream.h"

#include <algorithm>
#include <utility>
#include <bit>
#include <limits>
#include <string_view>

#include "platform/LittleEndian.h"
#include "platform/storage/PropertySetBytes.h"
#include "platform/storage/PropertySetRecode.h"
#include "platform/text/CodePage.h"

namespace kestrel::storage {

namespace {

using le::Append16;
using le::Append32;
using le::Append64;
using le::Put32;
using propset::ByteCursor;
using propset::Bytes;
using propset::PadTo4;
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

// ---- The checks on numbers read from the stream ----

constexpr bool HoldsHeader(std::size_t streamSize) { return streamSize >= kHeaderSize; }
constexpr bool ByteOrderMarkValid(std::uint16_t mark) { return mark == 0xFFFE; }
constexpr bool FormatVersionKnown(std::uint16_t version) { return version == 0 || version == 1; }
constexpr bool SectionCountPlausible(std::uint32_t count) { return count <= kMaxSections; }
// `listEnd` is where the section list ends, from a plausible count: it cannot overflow.
constexpr bool SectionListFits(std::size_t listEnd, std::size_t streamSize) { return listEnd <= streamSize; }
constexpr bool StartsAfterSectionList(std::uint64_t offset, std::size_t listEnd) { return offset >= listEnd; }
constexpr bool ListEndsBeforeSections(std::size_t listEnd, std::uint64_t firstSection) {
  return listEnd <= firstSection;
}
constexpr bool HoldsSectionHeader(std::uint32_t sectionSize) { return sectionSize >= kSectionHeaderSize; }
// Written so it cannot overflow: the section's size already holds its header.
constexpr bool TableFitsInSection(std::uint32_t count, std::uint32_t sectionSize) {
  return count <= (sectionSize - kSectionHeaderSize) / kTableEntrySize;
}
constexpr bool ValueInsideSection(std::uint32_t valueOffset, std::uint32_t sectionSize) {
  return valueOffset < sectionSize;
}
constexpr bool ValueInsideTable(std::uint32_t valueOffset, std::size_t tableEnd) { return valueOffset < tableEnd; }

std::string_view AsChars(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::string CutAtNul(std::string text) {
  text.resize(std::min(text.size(), text.find('\0')));
  return text;
}

// Text of a stored string: lossy for display, or exact (nullopt for a byte sequence the code page
// does not define).
std::optional<std::string> DecodeText(std::span<const std::uint8_t> bytes, unsigned codePage, bool exact) {
  if (exact) {
    std::optional<std::string> text = text::ToUtf8(AsChars(bytes), codePage);
    if (!text) return std::nullopt;
    return CutAtNul(std::move(*text));
  }
  return CutAtNul(text::ToUtf8Lossy(AsChars(bytes), codePage));
}

// Decodes the body of a value of `type` at the cursor; false when it does not fit.
bool DecodeBody(ByteCursor& in, std::uint16_t type, unsigned codePage, bool exact, PropertyValue& value) {
  value.type = type;
  switch (type) {
    case kVtI1:
    case kVtUi1: {
      std::optional<std::span<const std::uint8_t>> b = in.Take(1);
      if (!b) return false;
      value.integer = type == kVtI1 ? static_cast<std::int8_t>((*b)[0]) : (*b)[0];
      return true;
    }
    case kVtI2:
    case kVtBool:
    case kVtUi2: {
      std::optional<std::uint16_t> v = in.U16();
      if (!v) return false;
      value.integer = type == kVtUi2 ? *v : static_cast<std::int16_t>(*v);
      return true;
    }
    case kVtI4:
    case kVtInt:
    case kVtError:
    case kVtUi4:
    case kVtUint: {
      std::optional<std::uint32_t> v = in.U32();
      if (!v) return false;
      const bool isSigned = type == kVtI4 || type == kVtInt || type == kVtError;
      value.integer = isSigned ? static_cast<std::int32_t>(*v) : static_cast<std::int64_t>(*v);
      return true;
    }
    case kVtI8:
    case kVtUi8:
    case kVtFiletime: {
      std::optional<std::uint64_t> v = in.U64();
      if (!v) return false;
      value.integer = static_cast<std::int64_t>(*v);
      return true;
    }
    case kVtR4: {
      std::optional<std::uint32_t> v = in.U32();
      if (!v) return false;
      value.real = std::bit_cast<float>(*v);
      return true;
    }
    case kVtR8: {
      std::optional<std::uint64_t> v = in.U64();
      if (!v) return false;
      value.real = std::bit_cast<double>(*v);
      return true;
    }
    case kVtClsid: {
      std::optional<std::span<const std::uint8_t>> b = in.Take(16);
      if (!b) return false;
      value.guid = Guid::FromBytes(b->first<16>());
      return true;
    }
    case kVtLpstr:
    case kVtBstr: {
      std::optional<std::uint32_t> size = in.U32();
      std::optional<std::span<const std::uint8_t>> b = size ? in.Take(*size) : std::nullopt;
      std::optional<std::string> text = b ? DecodeText(*b, codePage, exact) : std::nullopt;
      if (!text) return false;
      value.text = std::move(*text);
      return true;
    }
    case kVtLpwstr: {
      std::optional<std::uint32_t> length = in.U32();
      std::optional<std::span<const std::uint8_t>> b = length ? in.Take(std::uint64_t{*length} * 2) : std::nullopt;
      std::optional<std::string> text = b ? DecodeText(*b, text::kCodePageUtf16Le, exact) : std::nullopt;
      if (!text) return false;
      value.text = std::move(*text);
      return true;
    }
    case kVtBlob:
    case kVtCf: {
      std::optional<std::uint32_t> size = in.U32();
      std::optional<std::span<const std::uint8_t>> b = size ? in.Take(*size) : std::nullopt;
      if (!b) return false;
      value.bytes.assign(b->begin(), b->end());
      return true;
    }
    default:  // empty, null, and the types shown by their type alone
      return true;
  }
}

// Decodes the typed value at the front of `bytes` (which run to the section's end).
std::optional<PropertyValue> DecodeValue(std::span<const std::uint8_t> bytes, unsigned codePage, bool exact = false) {
  ByteCursor in(bytes);
  std::optional<std::uint16_t> type = in.U16();
  if (!type || !in.Take(2)) return std::nullopt;
  PropertyValue value;
  if (!DecodeBody(in, *type, codePage, exact, value)) return std::nullopt;
  return value;
}

// The elements of a vector value (its bytes run to the next value), each padded to 4 bytes or
// laid end to end as Word does; nullopt when they do not walk in that layout.
std::optional<std::vector<PropertyValue>> WalkVector(std::span<const std::uint8_t> bytes, unsigned codePage,
                                                     bool padded) {
  ByteCursor in(bytes);
  std::optional<std::uint16_t> type = in.U16();
  std::optional<std::uint32_t> count = type && in.Take(2) ? in.U32() : std::nullopt;
  if (!count || *count > in.Remaining() / 2) return std::nullopt;
  const std::uint16_t base = *type & 0x0FFF;
  std::vector<PropertyValue> elements;
  for (std::uint32_t i = 0; i < *count; ++i) {
    const std::size_t before = in.Remaining();
    std::optional<std::uint16_t> elementType = base == kVtVariant ? in.U16() : base;
    if (!elementType || (base == kVtVariant && !in.Take(2))) return std::nullopt;
    // Nested vectors have no layout worth guessing.
    if ((*elementType & 0xF000) != 0 || *elementType == kVtVariant) return std::nullopt;
    PropertyValue element;
    if (!DecodeBody(in, *elementType, codePage, false, element)) return std::nullopt;
    if (padded && !in.SkipZeroPadding(before - in.Remaining())) return std::nullopt;
    elements.push_back(std::move(element));
  }
  if (!in.RestIsZero()) return std::nullopt;
  return elements;
}

std::vector<PropertyValue> VectorElements(std::span<const std::uint8_t> bytes, unsigned codePage) {
  std::optional<std::vector<PropertyValue>> elements = WalkVector(bytes, codePage, false);
  if (!elements) elements = WalkVector(bytes, codePage, true);
  return elements ? std::move(*elements) : std::vector<PropertyValue>();
}

// A dictionary as stored: its entries and each entry's bytes, so entries that stay keep them.
struct StoredDictionary {
  std::vector<DictionaryEntry> entries;
  std::vector<Bytes> raw;
  bool padded = false;  // each entry padded to 4 bytes (always in code page 1200)
};

// The dictionary: count, then (pid, length, name) entries, names NUL-terminated. In code page
// 1200 the length counts characters and every entry is padded to 4 bytes; in others it counts
// bytes and entries follow each other, though some writers pad them anyway.
std::optional<StoredDictionary> WalkDictionary(std::span<const std::uint8_t> raw, unsigned codePage, bool padded) {
  const bool wide = codePage == text::kCodePageUtf16Le;
  ByteCursor in(raw);
  std::optional<std::uint32_t> count = in.U32();
  if (!count || *count > in.Remaining() / 8) return std::nullopt;
  StoredDictionary dictionary;
  dictionary.padded = padded || wide;
  const std::size_t terminator = wide ? 2 : 1;
  for (std::uint32_t i = 0; i < *count; ++i) {
    const std::size_t before = in.Remaining();
    std::optional<std::uint32_t> pid = in.U32();
    std::optional<std::uint32_t> length = pid ? in.U32() : std::nullopt;
    std::optional<std::span<const std::uint8_t>> name =
        length ? in.Take(wide ? std::uint64_t{*length} * 2 : *length) : std::nullopt;
    const bool terminated = name && name->size() >= terminator &&
                            std::all_of(name->end() - static_cast<std::ptrdiff_t>(terminator), name->end(),
                                        [](std::uint8_t b) { return b == 0; });
    if (!terminated || (dictionary.padded && !in.SkipZeroPadding(name->size()))) return std::nullopt;
    const std::size_t entrySize = before - in.Remaining();
    const std::span<const std::uint8_t> entry = raw.subspan(raw.size() - before, entrySize);
    dictionary.entries.push_back({*pid, *DecodeText(*name, codePage, false)});
    dictionary.raw.emplace_back(entry.begin(), entry.end());
  }
  return dictionary;
}

std::optional<StoredDictionary> ReadDictionary(std::span<const std::uint8_t> raw, unsigned codePage) {
  std::optional<StoredDictionary> unpadded = WalkDictionary(raw, codePage, false);
  if (unpadded) return unpadded;
  return WalkDictionary(raw, codePage, true);
}

// One entry in the layout of `dictionary`; nullopt when the code page cannot hold the name.
std::optional<Bytes> EncodeDictionaryEntry(const DictionaryEntry& entry, unsigned codePage, bool padded) {
  const bool wide = codePage == text::kCodePageUtf16Le;
  std::optional<std::string> name = text::FromUtf8(entry.name, codePage);
  if (!name) return std::nullopt;
  name->append(wide ? 2 : 1, '\0');
  const std::size_t length = wide ? name->size() / 2 : name->size();
  if (length > UINT32_MAX) return std::nullopt;
  Bytes out;
  Append32(out, entry.pid);
  Append32(out, static_cast<std::uint32_t>(length));
  out.insert(out.end(), name->begin(), name->end());
  if (padded || wide) PadTo4(out);
  return out;
}

Bytes JoinDictionary(const std::vector<Bytes>& entries) {
  Bytes out;
  Append32(out, static_cast<std::uint32_t>(entries.size()));
  for (const Bytes& entry : entries) out.insert(out.end(), entry.begin(), entry.end());
  PadTo4(out);
  return out;
}

// The value bytes a Write stores, or nullopt for a type Write does not set or a value it cannot
// hold (text the code page cannot hold among them).
std::optional<Bytes> EncodeValue(const PropertyValue& value, unsigned codePage) {
  Bytes out;
  Append16(out, value.type);
  Append16(out, 0);
  switch (value.type) {
    case kVtNull:
      return out;
    case kVtInt:
    case kVtI4:
      if (value.integer < std::numeric_limits<std::int32_t>::min() ||
          value.integer > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
      }
      Append32(out, static_cast<std::uint32_t>(value.integer));
      return out;
    case kVtBool:
      Append16(out, value.integer != 0 ? 0xFFFF : 0);
      Append16(out, 0);
      return out;
    case kVtR8:
      Append64(out, std::bit_cast<std::uint64_t>(value.real));
      return out;
    case kVtFiletime:
      Append64(out, static_cast<std::uint64_t>(value.integer));
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
      Append32(out, static_cast<std::uint32_t>(count));
      out.insert(out.end(), encoded->begin(), encoded->end());
      PadTo4(out);
      return out;
    }
    default:
      return std::nullopt;
  }
}

Outcome Damaged(std::string message) { return Outcome::Failure(FailureKind::Damaged, std::move(message)); }
Outcome Unsupported(std::string message) { return Outcome::Failure(FailureKind::Unsupported, std::move(message)); }

std::string PropertyName(std::uint32_t pid) { return "property " + std::to_string(pid); }

// A value Write can store: one of its types, in range, with text that is UTF-8.
Outcome CheckValue(const PropertyValue& value) {
  switch (value.type) {
    case kVtNull:
    case kVtFiletime:
    case kVtBool:
    case kVtR8:
      return Outcome::Success();
    case kVtInt:
    case kVtI4:
      if (value.integer < std::numeric_limits<std::int32_t>::min() ||
          value.integer > std::numeric_limits<std::int32_t>::max()) {
        return Outcome::Failure(FailureKind::InvalidValue, "the number " + std::to_string(value.integer) +
                                                               " does not fit in 32 bits");
      }
      return Outcome::Success();
    case kVtLpstr:
    case kVtLpwstr:
      // UTF-16 holds every character of well-formed UTF-8.
      if (!text::IsValidUtf8(CutAtNul(value.text))) {
        return Outcome::Failure(FailureKind::InvalidValue, "the text is not valid UTF-8");
      }
      return Outcome::Success();
    default:
      return Unsupported("values of type " + std::to_string(value.type) + " are not written");
  }
}

// Each property's bytes from its offset to the next larger offset of the table (or the section
// end), whatever order the table lists them in; properties sharing an offset each get a copy.
// A pid listed twice is refused: which of the two a reader takes is not defined.
Result<std::vector<RawProperty>> SplitProperties(std::span<const std::uint8_t> section,
                                                 std::span<const std::uint32_t> pids,
                                                 std::span<const std::uint32_t> offsets) {
  std::vector<std::uint32_t> starts(offsets.begin(), offsets.end());
  std::sort(starts.begin(), starts.end());
  std::vector<std::uint32_t> sortedPids(pids.begin(), pids.end());
  std::sort(sortedPids.begin(), sortedPids.end());
  if (auto twice = std::adjacent_find(sortedPids.begin(), sortedPids.end()); twice != sortedPids.end()) {
    return Unsupported(PropertyName(*twice) + " is listed twice");
  }
  std::vector<RawProperty> properties;
  properties.reserve(offsets.size());
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    auto next = std::upper_bound(starts.begin(), starts.end(), offsets[i]);
    const std::size_t end = next != starts.end() ? *next : section.size();
    std::optional<std::span<const std::uint8_t>> raw = Slice(section, offsets[i], end - offsets[i]);
    if (!raw) return Damaged(PropertyName(pids[i]) + " starts outside the section");
    properties.push_back({pids[i], Bytes(raw->begin(), raw->end())});
  }
  return properties;
}

// The code page the strings of a section are converted into when its own cannot hold a text.
constexpr unsigned kUnicodeCodePage = text::kCodePageUtf16Le;

// Code pages whose strings this codec does not write: their terminator is wider than the one we
// store, and no writer makes such sets.
bool IsUnwrittenCodePage(unsigned codePage) { return codePage == 1201 || codePage == 12000 || codePage == 12001; }

// The parts of one stored section, each bound checked by name so they can be audited together.
struct LocatedSection {
  Bytes bytes;                      // the size field's extent; empty when it is not in the stream
  std::vector<std::pair<std::uint32_t, std::uint32_t>> table;  // pid, offset
  std::string damage;               // empty when the table reads
  bool movable = true;              // damaged, but everything it points at lies inside `bytes`
};

LocatedSection LocateSection(std::span<const std::uint8_t> stream, std::uint32_t offset, std::size_t listEnd,
                             const std::string& name) {
  LocatedSection located;
  const auto fail = [&](std::string why, bool movable) {
    located.damage = name + " " + std::move(why);
    located.movable = movable;
    if (!movable) located.bytes.clear();
    located.table.clear();
    return located;
  };
  if (!StartsAfterSectionList(offset, listEnd)) return fail("starts inside the stream header", false);
  std::optional<std::span<const std::uint8_t>> sizeField = Slice(stream, offset, 4);
  if (!sizeField) return fail("starts past the end of the stream", false);
  const std::uint32_t size = le::Get32(sizeField->data());
  if (!HoldsSectionHeader(size)) return fail("is shorter than its own header", false);
  std::optional<std::span<const std::uint8_t>> extent = Slice(stream, offset, size);
  if (!extent) return fail("runs past the end of the stream", false);
  located.bytes.assign(extent->begin(), extent->end());

  ByteCursor table(located.bytes);
  table.Take(4);
  std::optional<std::uint32_t> count = table.U32();
  if (!count || !TableFitsInSection(*count, size)) {
    return fail("has a property table that runs past its end", false);
  }
  const std::size_t tableEnd = kSectionHeaderSize + kTableEntrySize * *count;
  located.table.reserve(*count);  // bounded by the section's size, checked above
  for (std::uint32_t i = 0; i < *count; ++i) {
    const std::uint32_t pid = *table.U32();
    const std::uint32_t valueOffset = *table.U32();
    if (!ValueInsideSection(valueOffset, size)) return fail("lists " + PropertyName(pid) + " past its end", false);
    // A value inside the table is nonsense, but it points inside the section: the section moves.
    if (ValueInsideTable(valueOffset, tableEnd)) {
      return fail("lists " + PropertyName(pid) + " inside its property table", true);
    }
    located.table.emplace_back(pid, valueOffset);
  }
  return located;
}

// Whether the stream holds a section the header's count leaves out: an FMTID and offset right
// after the listed entries, before the first listed section, pointing at a section whose size
// field fits in the stream. Word's zero padding never looks like one (its FMTID would be zero).
bool HoldsUnlistedSection(std::span<const std::uint8_t> stream, std::uint32_t count,
                          std::uint64_t firstListedSection) {
  const std::size_t entryStart = kHeaderSize + kSectionListEntrySize * count;
  const std::size_t entryEnd = entryStart + kSectionListEntrySize;
  std::optional<std::span<const std::uint8_t>> entry = Slice(stream, entryStart, kSectionListEntrySize);
  if (!entry || !ListEndsBeforeSections(entryEnd, firstListedSection)) return false;
  if (std::all_of(entry->begin(), entry->begin() + 16, [](std::uint8_t b) { return b == 0; })) return false;
  const std::uint32_t offset = le::Get32(entry->data() + 16);
  std::optional<std::span<const std::uint8_t>> sizeField =
      StartsAfterSectionList(offset, entryEnd) ? Slice(stream, offset, 4) : std::nullopt;
  if (!sizeField) return false;
  const std::uint32_t size = le::Get32(sizeField->data());
  return HoldsSectionHeader(size) && Slice(stream, offset, size).has_value();
}

std::string Hex16(std::uint16_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = 12; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 15];
  return text;
}

// Size, count, table, then the values in table order, each starting on a 4-byte boundary.
std::optional<Bytes> BuildSection(std::span<const RawProperty> properties) {
  Bytes out(kSectionHeaderSize + kTableEntrySize * properties.size(), 0);
  for (std::size_t i = 0; i < properties.size(); ++i) {
    PadTo4(out);
    if (out.size() > UINT32_MAX) return std::nullopt;
    const std::size_t entry = kSectionHeaderSize + kTableEntrySize * i;
    Put32(out.data() + entry, properties[i].pid);
    Put32(out.data() + entry + 4, static_cast<std::uint32_t>(out.size()));
    out.insert(out.end(), properties[i].raw.begin(), properties[i].raw.end());
  }
  PadTo4(out);
  if (out.size() > UINT32_MAX) return std::nullopt;
  Put32(out.data(), static_cast<std::uint32_t>(out.size()));
  Put32(out.data() + 4, static_cast<std::uint32_t>(properties.size()));
  return out;
}

}  // namespace

namespace {

// Some writers store the first three fields of the identifier big-endian.
Guid ByteSwapped(const Guid& fmtid) {
  return {__builtin_bswap32(fmtid.data1), __builtin_bswap16(fmtid.data2), __builtin_bswap16(fmtid.data3), fmtid.data4};
}

}  // namespace

PropertySetStream::Section* PropertySetStream::FindSection(const Guid& fmtid) {
  return const_cast<Section*>(std::as_const(*this).FindSection(fmtid));
}

const PropertySetStream::Section* PropertySetStream::FindSection(const Guid& fmtid) const {
  auto it = std::find_if(sections_.begin(), sections_.end(), [&](const Section& s) { return s.fmtid == fmtid; });
  if (it != sections_.end()) return &*it;
  // A first section under the identifier byte-swapped is that set, as other readers (which take
  // the first section whatever it is called) read it; a change keeps the identifier as stored.
  if (!sections_.empty() && sections_.front().fmtid == ByteSwapped(fmtid)) return &sections_.front();
  return nullptr;
}

Result<PropertySetStream> PropertySetStream::Parse(std::span<const std::uint8_t> bytes) {
  if (!HoldsHeader(bytes.size())) return Damaged("the stream is shorter than a property-set header");
  ByteCursor header(bytes);
  const std::optional<std::uint16_t> byteOrder = header.U16();
  const std::optional<std::uint16_t> version = header.U16();
  header.Take(4 + 16);  // system identifier, class id
  if (!ByteOrderMarkValid(*byteOrder)) return Damaged("the byte order mark is " + Hex16(*byteOrder) + ", not 0xFFFE");
  if (!FormatVersionKnown(*version)) return Unsupported("the stream has format version " + std::to_string(*version));
  const std::uint32_t sectionCount = *header.U32();
  if (!SectionCountPlausible(sectionCount)) {
    return Damaged("the header claims " + std::to_string(sectionCount) + " sections");
  }
  const std::size_t listEnd = kHeaderSize + kSectionListEntrySize * sectionCount;
  if (!SectionListFits(listEnd, bytes.size())) return Damaged("the section list runs past the end of the stream");

  PropertySetStream stream;
  std::copy_n(bytes.begin(), kHeaderSize, stream.header_.begin());
  stream.sections_.reserve(sectionCount);
  std::uint64_t firstSection = bytes.size();
  for (std::uint32_t s = 0; s < sectionCount; ++s) {
    const std::span<const std::uint8_t> fmtid = *header.Take(16);
    const std::uint32_t offset = *header.U32();
    firstSection = std::min<std::uint64_t>(firstSection, offset);
    LocatedSection located = LocateSection(bytes, offset, listEnd, "section " + std::to_string(s + 1));
    if (!located.movable && stream.refusal_.empty()) stream.refusal_ = located.damage;
    Section section;
    section.fmtid = Guid::FromBytes(fmtid.first<16>());
    section.bytes = std::move(located.bytes);
    for (const auto& [pid, valueOffset] : located.table) section.table.push_back({pid, valueOffset});
    section.damage = std::move(located.damage);
    stream.sections_.push_back(std::move(section));
  }
  if (stream.refusal_.empty() && HoldsUnlistedSection(bytes, sectionCount, firstSection)) {
    stream.refusal_ = "the header claims " + std::to_string(sectionCount) + " section" +
                      (sectionCount == 1 ? "" : "s") + " but the stream holds " + (sectionCount == 0 ? "one" : "one more");
  }
  stream.unchanged_.emplace(bytes.begin(), bytes.end());
  stream.minimumSize_ = bytes.size();
  return stream;
}

PropertySetStream PropertySetStream::Create(const Guid& fmtid, unsigned codePage) {
  PropertySetStream stream;
  Bytes header;
  Append16(header, 0xFFFE);
  Append16(header, 0);
  Append32(header, kSystemIdentifierWindows);
  const std::array<std::uint8_t, 16> clsid = fmtid.ToBytes();
  header.insert(header.end(), clsid.begin(), clsid.end());
  Append32(header, 0);
  std::copy_n(header.begin(), kHeaderSize, stream.header_.begin());
  stream.AddSection(fmtid, codePage);  // a new stream can always take a section
  return stream;
}

bool PropertySetStream::HasSection(const Guid& fmtid) const { return FindSection(fmtid) != nullptr; }

bool PropertySetStream::IsReadable(const Guid& fmtid) const {
  const Section* section = FindSection(fmtid);
  return section != nullptr && section->damage.empty();
}

std::optional<unsigned> PropertySetStream::CodePage(const Guid& fmtid) const {
  if (!IsReadable(fmtid)) return std::nullopt;
  return CodePageOf(*FindSection(fmtid));
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
  if (!IsReadable(fmtid) || pid == kPidDictionary) return std::nullopt;
  const Section& section = *FindSection(fmtid);
  for (const Section::Entry& entry : section.table) {
    if (entry.pid == pid) {
      return DecodeValue(std::span(section.bytes).subspan(entry.offset), CodePageOf(section).value_or(kDefaultCodePage));
    }
  }
  return std::nullopt;
}

bool PropertySetStream::Holds(const Guid& fmtid, std::uint32_t pid, const PropertyValue& value) const {
  if (!IsReadable(fmtid) || pid == kPidDictionary) return false;
  const Section& section = *FindSection(fmtid);
  std::optional<unsigned> codePage = CodePageOf(section);
  auto entry = std::find_if(section.table.begin(), section.table.end(), [&](const Section::Entry& e) { return e.pid == pid; });
  if (!codePage || entry == section.table.end()) return false;
  std::optional<PropertyValue> stored = DecodeValue(std::span(section.bytes).subspan(entry->offset), *codePage, true);
  if (!stored || stored->type != value.type) return false;
  switch (value.type) {
    case kVtNull:
      return true;
    case kVtInt:
    case kVtI4:
    case kVtFiletime:
      return stored->integer == value.integer;
    case kVtBool:
      return stored->integer == (value.integer != 0 ? -1 : 0);
    case kVtR8:
      return std::bit_cast<std::uint64_t>(stored->real) == std::bit_cast<std::uint64_t>(value.real);
    case kVtLpstr:
    case kVtLpwstr:
      return stored->text == CutAtNul(value.text);
    default:
      return false;
  }
}

Outcome PropertySetStream::Rewritable() const { return refusal_.empty() ? Outcome::Success() : Damaged(refusal_); }

std::string PropertySetStream::Where(const Section* section) const {
  return "section " + std::to_string(section - sections_.data() + 1);
}

Result<PropertySetStream::Section*> PropertySetStream::EditableSection(const Guid& fmtid) {
  if (Outcome rewritable = Rewritable(); !rewritable) return rewritable;
  Section* section = FindSection(fmtid);
  if (section == nullptr) return Unsupported("the stream has no section " + fmtid.ToString());
  if (!section->damage.empty()) return Damaged(section->damage);
  return section;
}

Result<PropertySetStream::Editing> PropertySetStream::Split(Section* section, std::string where) {
  std::vector<std::uint32_t> pids;
  std::vector<std::uint32_t> offsets;
  for (const Section::Entry& entry : section->table) {
    pids.push_back(entry.pid);
    offsets.push_back(entry.offset);
  }
  Result<std::vector<RawProperty>> split = SplitProperties(section->bytes, pids, offsets);
  if (!split) return split.outcome().Within(where);
  // A value that runs past its own bytes overlaps the next value or is cut off by the section
  // end; once values move it would read as something else.
  for (const RawProperty& property : *split) {
    if (property.pid != kPidDictionary && !DecodeValue(property.raw, 0)) {
      return Damaged(where + ": the value of " + PropertyName(property.pid) + " runs past its bytes");
    }
  }
  return Editing{section, std::move(where), std::move(*split)};
}

Outcome PropertySetStream::Store(Editing& editing) {
  std::optional<Bytes> rebuilt = BuildSection(editing.properties);
  // Every offset of the stream is 32 bits: the whole stream must stay below 4 GiB.
  std::uint64_t laidOut = kHeaderSize + kSectionListEntrySize * sections_.size();
  for (const Section& other : sections_) {
    laidOut += (&other == editing.section ? (rebuilt ? rebuilt->size() : 0) : other.bytes.size()) + 3;
  }
  if (!rebuilt || laidOut > UINT32_MAX) return Unsupported(editing.where + ": the section would grow past 4 GiB");
  Section& section = *editing.section;
  section.bytes = std::move(*rebuilt);
  section.table.clear();
  for (std::size_t i = 0; i < editing.properties.size(); ++i) {
    const std::size_t at = kSectionHeaderSize + kTableEntrySize * i;
    section.table.push_back({editing.properties[i].pid, le::Get32(section.bytes.data() + at + 4)});
  }
  unchanged_.reset();
  return Outcome::Success();
}

namespace {

bool HasProperty(std::span<const RawProperty> properties, std::uint32_t pid) {
  return std::any_of(properties.begin(), properties.end(), [pid](const RawProperty& p) { return p.pid == pid; });
}

// The section's code page for writing strings into it, or why it takes none.
Result<unsigned> WritableCodePage(std::optional<unsigned> codePage, const std::string& where) {
  if (!codePage) return Unsupported(where + ": the code page property is not a VT_I2");
  if (IsUnwrittenCodePage(*codePage)) {
    return Unsupported(where + ": strings in code page " + std::to_string(*codePage) + " are not written");
  }
  return *codePage;
}

// Switches the section to UTF-16 because a string does not fit its code page: only when every
// string in it converts exactly, never to question marks.
Outcome SwitchToUtf16(std::vector<RawProperty>& properties, unsigned codePage, const std::string& where) {
  if (!text::IsKnownCodePage(codePage)) {
    return Unsupported(where + ": code page " + std::to_string(codePage) + " is unknown, so its strings cannot be converted");
  }
  Result<std::vector<RawProperty>> recoded = propset::RecodeSectionToUtf16(properties, codePage);
  if (!recoded) return recoded.outcome().Within(where);
  properties = std::move(*recoded);
  return Outcome::Success();
}

}  // namespace

Outcome PropertySetStream::Write(const Guid& fmtid, std::span<const PropertyAssignment> assignments) {
  Result<Section*> section = EditableSection(fmtid);
  if (!section) return section.outcome();
  const std::string where = Where(*section);
  for (const PropertyAssignment& assignment : assignments) {
    // The code page and the dictionary describe the other values; they are not set one by one.
    if (assignment.pid == kPidDictionary || assignment.pid == kPidCodePage) {
      return Unsupported(PropertyName(assignment.pid) + " describes the other values and is not set alone").Within(where);
    }
    if (Outcome valid = CheckValue(assignment.value); !valid) return valid.Within(PropertyName(assignment.pid));
  }
  Result<Editing> editing = Split(*section, where);
  if (!editing) return editing.outcome();
  std::vector<RawProperty>& properties = editing->properties;

  std::optional<unsigned> codePage;  // looked up for the first string, then as switched
  for (const PropertyAssignment& assignment : assignments) {
    const PropertyValue& value = assignment.value;
    std::optional<Bytes> raw;
    if (value.type == kVtLpstr) {
      if (!codePage) {
        Result<unsigned> writable = WritableCodePage(CodePageOf(**section), where);
        if (!writable) return writable.outcome();
        codePage = *writable;
      }
      raw = EncodeValue(value, *codePage);
      if (!raw) {
        // CheckValue proved the text converts to UTF-16, so 65001 and 1200 never get here.
        if (Outcome switched = SwitchToUtf16(properties, *codePage, where); !switched) return switched;
        codePage = kUnicodeCodePage;
        raw = EncodeValue(value, *codePage);
      }
    } else {
      raw = EncodeValue(value, 0);
    }
    if (!raw) return Unsupported(where + ": " + PropertyName(assignment.pid) + " cannot be stored");
    auto slot = std::find_if(properties.begin(), properties.end(),
                             [&](const RawProperty& p) { return p.pid == assignment.pid; });
    if (slot != properties.end()) {
      slot->raw = std::move(*raw);
    } else {
      properties.push_back({assignment.pid, std::move(*raw)});
    }
  }
  // Strings written in the code page a section without one is read in: the section says so, for
  // readers whose default is another.
  if (codePage && !HasProperty(properties, kPidCodePage)) {
    properties.push_back({kPidCodePage, propset::CodePageValue(*codePage)});
  }
  return Store(*editing);
}

Outcome PropertySetStream::Remove(const Guid& fmtid, std::span<const std::uint32_t> pids) {
  const Section* found = FindSection(fmtid);
  if (found == nullptr) return Outcome::Success();
  const bool listed = std::any_of(found->table.begin(), found->table.end(), [&](const Section::Entry& e) {
    return std::find(pids.begin(), pids.end(), e.pid) != pids.end();
  });
  std::optional<std::vector<DictionaryEntry>> names = Dictionary(fmtid);
  const bool named = names && std::any_of(names->begin(), names->end(), [&](const DictionaryEntry& e) {
    return std::find(pids.begin(), pids.end(), e.pid) != pids.end();
  });
  if (!listed && !named && found->damage.empty()) return Outcome::Success();

  Result<Section*> section = EditableSection(fmtid);
  if (!section) return section.outcome();
  const std::string where = Where(*section);
  for (std::uint32_t pid : pids) {
    if (pid == kPidDictionary || pid == kPidCodePage) {
      return Unsupported(PropertyName(pid) + " describes the other values and is not removed").Within(where);
    }
  }
  Result<Editing> editing = Split(*section, where);
  if (!editing) return editing.outcome();
  std::vector<RawProperty>& properties = editing->properties;
  std::erase_if(properties, [&](const RawProperty& p) { return std::find(pids.begin(), pids.end(), p.pid) != pids.end(); });
  auto dictionary = std::find_if(properties.begin(), properties.end(), [](const RawProperty& p) { return p.pid == kPidDictionary; });
  if (dictionary != properties.end()) {
    std::optional<StoredDictionary> stored = ReadDictionary(dictionary->raw, CodePageOf(**section).value_or(kDefaultCodePage));
    if (!stored) return Unsupported(where + ": the dictionary cannot be read");
    // Entries that stay keep their bytes.
    std::vector<Bytes> kept;
    for (std::size_t i = 0; i < stored->entries.size(); ++i) {
      if (std::find(pids.begin(), pids.end(), stored->entries[i].pid) == pids.end()) kept.push_back(stored->raw[i]);
    }
    if (kept.empty()) {
      properties.erase(dictionary);
    } else if (kept.size() != stored->entries.size()) {
      dictionary->raw = JoinDictionary(kept);
    }
  }
  return Store(*editing);
}

Outcome PropertySetStream::Name(const Guid& fmtid, std::span<const DictionaryEntry> names) {
  Result<Section*> section = EditableSection(fmtid);
  if (!section) return section.outcome();
  const std::string where = Where(*section);
  for (const DictionaryEntry& entry : names) {
    const bool valid = !entry.name.empty() && entry.name.find('\0') == std::string::npos && text::IsValidUtf8(entry.name);
    if (!valid) return Outcome::Failure(FailureKind::InvalidValue, "the name of " + PropertyName(entry.pid) + " is empty or not text");
    if (entry.pid == kPidDictionary || entry.pid == kPidCodePage) {
      return Unsupported(PropertyName(entry.pid) + " takes no name").Within(where);
    }
  }
  Result<unsigned> codePage = WritableCodePage(CodePageOf(**section), where);
  if (!codePage) return codePage.outcome();
  Result<Editing> editing = Split(*section, where);
  if (!editing) return editing.outcome();
  std::vector<RawProperty>& properties = editing->properties;

  const auto dictionaryOf = [&properties]() -> std::optional<std::span<const std::uint8_t>> {
    auto it = std::find_if(properties.begin(), properties.end(), [](const RawProperty& p) { return p.pid == kPidDictionary; });
    if (it == properties.end()) return std::nullopt;
    return std::span<const std::uint8_t>(it->raw);
  };
  const auto read = [&](unsigned page) -> Result<StoredDictionary> {
    std::optional<std::span<const std::uint8_t>> raw = dictionaryOf();
    if (!raw) return StoredDictionary{};
    std::optional<StoredDictionary> stored = ReadDictionary(*raw, page);
    if (!stored) return Unsupported(where + ": the dictionary cannot be read");
    return std::move(*stored);
  };
  Result<StoredDictionary> stored = read(*codePage);
  if (!stored) return stored.outcome();
  const bool already = std::all_of(names.begin(), names.end(), [&](const DictionaryEntry& entry) {
    return std::find(stored->entries.begin(), stored->entries.end(), entry) != stored->entries.end();
  });
  if (already) return Outcome::Success();

  // The entries as they end, each new or renamed one encoded; every other keeps its bytes.
  const auto merge = [&](const StoredDictionary& dictionary, unsigned page) -> std::optional<Bytes> {
    std::vector<Bytes> raw = dictionary.raw;
    for (const DictionaryEntry& entry : names) {
      std::optional<Bytes> encoded = EncodeDictionaryEntry(entry, page, dictionary.padded);
      if (!encoded) return std::nullopt;
      auto at = std::find_if(dictionary.entries.begin(), dictionary.entries.end(),
                             [&](const DictionaryEntry& e) { return e.pid == entry.pid; });
      if (at != dictionary.entries.end()) {
        raw[static_cast<std::size_t>(at - dictionary.entries.begin())] = std::move(*encoded);
      } else {
        raw.push_back(std::move(*encoded));
      }
    }
    return JoinDictionary(raw);
  };
  std::optional<Bytes> merged = merge(*stored, *codePage);
  if (!merged) {
    if (Outcome switched = SwitchToUtf16(properties, *codePage, where); !switched) return switched;
    codePage = kUnicodeCodePage;
    stored = read(*codePage);
    if (!stored) return stored.outcome();
    merged = merge(*stored, *codePage);
    if (!merged) return Unsupported(where + ": a name cannot be stored");
  }
  auto dictionary = std::find_if(properties.begin(), properties.end(), [](const RawProperty& p) { return p.pid == kPidDictionary; });
  if (dictionary != properties.end()) {
    dictionary->raw = std::move(*merged);
  } else {
    // Writers list the dictionary first.
    properties.insert(properties.begin(), RawProperty{kPidDictionary, std::move(*merged)});
  }
  if (!HasProperty(properties, kPidCodePage)) properties.push_back({kPidCodePage, propset::CodePageValue(*codePage)});
  return Store(*editing);
}

Outcome PropertySetStream::RemoveSection(const Guid& fmtid) {
  const Section* section = FindSection(fmtid);
  if (section == nullptr) return Outcome::Success();
  if (Outcome rewritable = Rewritable(); !rewritable) return rewritable;
  sections_.erase(sections_.begin() + (section - sections_.data()));
  unchanged_.reset();
  return Outcome::Success();
}

std::optional<std::vector<StoredProperty>> PropertySetStream::Properties(const Guid& fmtid) const {
  if (!IsReadable(fmtid)) return std::nullopt;
  const Section& section = *FindSection(fmtid);
  const unsigned codePage = CodePageOf(section).value_or(kDefaultCodePage);
  std::vector<std::uint32_t> starts;
  for (const Section::Entry& entry : section.table) starts.push_back(entry.offset);
  std::sort(starts.begin(), starts.end());
  std::vector<StoredProperty> properties;
  for (const Section::Entry& entry : section.table) {
    if (entry.pid == kPidDictionary) continue;
    const std::span<const std::uint8_t> rest = std::span(section.bytes).subspan(entry.offset);
    StoredProperty property{entry.pid, rest.size() >= 2 ? le::Get16(rest.data()) : kVtEmpty, DecodeValue(rest, codePage)};
    if (property.value && (property.type & kVtVector) != 0) {
      // The vector's bytes end where the next value starts.
      auto next = std::upper_bound(starts.begin(), starts.end(), entry.offset);
      const std::size_t end = next != starts.end() ? *next : section.bytes.size();
      property.value->elements = VectorElements(rest.first(end - entry.offset), codePage);
    }
    properties.push_back(std::move(property));
  }
  return properties;
}

std::optional<std::vector<DictionaryEntry>> PropertySetStream::Dictionary(const Guid& fmtid) const {
  if (!IsReadable(fmtid)) return std::nullopt;
  const Section& section = *FindSection(fmtid);
  auto entry = std::find_if(section.table.begin(), section.table.end(), [](const Section::Entry& e) { return e.pid == kPidDictionary; });
  if (entry == section.table.end()) return std::vector<DictionaryEntry>();
  std::optional<StoredDictionary> stored =
      ReadDictionary(std::span(section.bytes).subspan(entry->offset), CodePageOf(section).value_or(kDefaultCodePage));
  if (!stored) return std::nullopt;
  return std::move(stored->entries);
}

Outcome PropertySetStream::AddSection(const Guid& fmtid, unsigned codePage) {
  if (HasSection(fmtid)) return Outcome::Success();
  if (Outcome rewritable = Rewritable(); !rewritable) return rewritable;
  if (sections_.size() >= kMaxSections) return Unsupported("the stream holds " + std::to_string(kMaxSections) + " sections already");
  const RawProperty codePageProperty{kPidCodePage, propset::CodePageValue(codePage)};
  Section section;
  section.fmtid = fmtid;
  section.bytes = *BuildSection(std::span(&codePageProperty, 1));
  section.table.push_back({kPidCodePage, static_cast<std::uint32_t>(kSectionHeaderSize + kTableEntrySize)});
  // The document summary section comes before the user-defined one that shares its stream.
  const auto at = fmtid == kFmtidDocSummaryInformation ? sections_.begin() : sections_.end();
  sections_.insert(at, std::move(section));
  unchanged_.reset();
  return Outcome::Success();
}

std::string VarTypeName(std::uint16_t type) {
  struct Named {
    std::uint16_t type;
    const char* name;
  };
  static constexpr Named kNames[] = {
      {kVtEmpty, "VT_EMPTY"},   {kVtNull, "VT_NULL"},         {kVtI2, "VT_I2"},
      {kVtI4, "VT_I4"},         {kVtR4, "VT_R4"},             {kVtR8, "VT_R8"},
      {kVtCy, "VT_CY"},         {kVtDate, "VT_DATE"},         {kVtBstr, "VT_BSTR"},
      {kVtError, "VT_ERROR"},   {kVtBool, "VT_BOOL"},         {kVtVariant, "VT_VARIANT"},
      {kVtDecimal, "VT_DECIMAL"}, {kVtI1, "VT_I1"},           {kVtUi1, "VT_UI1"},
      {kVtUi2, "VT_UI2"},       {kVtUi4, "VT_UI4"},           {kVtI8, "VT_I8"},
      {kVtUi8, "VT_UI8"},       {kVtInt, "VT_INT"},           {kVtUint, "VT_UINT"},
      {kVtVoid, "VT_VOID"},     {kVtLpstr, "VT_LPSTR"},       {kVtLpwstr, "VT_LPWSTR"},
      {kVtFiletime, "VT_FILETIME"}, {kVtBlob, "VT_BLOB"},     {kVtStream, "VT_STREAM"},
      {kVtStorage, "VT_STORAGE"}, {kVtStreamedObject, "VT_STREAMED_OBJECT"},
      {kVtStoredObject, "VT_STORED_OBJECT"}, {kVtBlobObject, "VT_BLOB_OBJECT"},
      {kVtCf, "VT_CF"},         {kVtClsid, "VT_CLSID"},       {kVtVersionedStream, "VT_VERSIONED_STREAM"},
  };
  const std::uint16_t base = type & 0x0FFF;
  std::string name = (type & kVtVector) != 0 ? "VT_VECTOR|" : (type & kVtArray) != 0 ? "VT_ARRAY|" : "";
  for (const Named& named : kNames) {
    if (named.type == base) return name + named.name;
  }
  return name + "VT_" + Hex16(base);
}

std::vector<std::uint8_t> PropertySetStream::Serialize() const {
  if (unchanged_) return *unchanged_;
  Bytes out(header_.begin(), header_.end());
  Put32(out.data() + kHeaderSize - 4, static_cast<std::uint32_t>(sections_.size()));
  for (const Section& section : sections_) {
    const std::array<std::uint8_t, 16> fmtid = section.fmtid.ToBytes();
    out.insert(out.end(), fmtid.begin(), fmtid.end());
    Append32(out, 0);
  }
  // A damaged section gets here only when it is self-contained (else nothing may change), so its
  // bytes keep their meaning wherever it lands.
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    PadTo4(out);
    Put32(out.data() + kHeaderSize + kSectionListEntrySize * s + 16, static_cast<std::uint32_t>(out.size()));
    out.insert(out.end(), sections_[s].bytes.begin(), sections_[s].bytes.end());
  }
  if (out.size() < minimumSize_) out.resize(minimumSize_, 0);
  return out;
}

}  // namespace kestrel::storage
