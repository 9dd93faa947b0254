#include "platform/storage/PropertySetStorage.h"

#include <array>
#include <vector>

#include "platform/text/CodePage.h"

namespace kestrel::storage {

namespace {

constexpr char16_t kPropertySetPrefix = u'\u0005';

// The 26-character name: the FMTID's 128 stored bits, least significant bit of the first byte
// first, taken 5 at a time (two zero bits at the end) into a 32-letter alphabet. The letter that
// starts at a byte boundary is upper case, as the names Windows writes have it
// ("\005SebiesnrMkudrfcoIaamtykdDa"); compound-file names compare case-insensitively anyway.
std::u16string ComputedName(const Guid& fmtid) {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz012345";
  const std::array<std::uint8_t, 16> bytes = fmtid.ToBytes();
  std::u16string name;
  for (std::size_t bit = 0; bit < 128; bit += 5) {
    unsigned value = 0;
    for (std::size_t i = 0; i < 5 && bit + i < 128; ++i) {
      value |= ((bytes[(bit + i) / 8] >> ((bit + i) % 8)) & 1u) << i;
    }
    char letter = kAlphabet[value];
    if (bit % 8 == 0 && letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    name += static_cast<char16_t>(letter);
  }
  return name;
}

}  // namespace

std::u16string PropertySetStreamName(const Guid& fmtid) {
  if (fmtid == kFmtidSummaryInformation) return u"\u0005SummaryInformation";
  if (fmtid == kFmtidDocSummaryInformation || fmtid == kFmtidUserDefinedProperties) {
    return u"\u0005DocumentSummaryInformation";
  }
  return kPropertySetPrefix + ComputedName(fmtid);
}

std::optional<PropertySetStream> ReadPropertySet(const CompoundFile& file, const Guid& fmtid) {
  std::optional<EntryId> entry = file.FindChild(kRootEntry, PropertySetStreamName(fmtid));
  if (!entry || !file.IsStream(*entry)) return std::nullopt;
  std::optional<std::vector<std::uint8_t>> bytes = file.ReadStream(*entry);
  if (!bytes) return std::nullopt;
  std::optional<PropertySetStream> stream = PropertySetStream::Parse(*bytes);
  if (!stream || !stream->HasSection(fmtid)) return std::nullopt;
  return stream;
}

bool WritePropertySetValue(CompoundFile& file, const Guid& fmtid, std::uint32_t pid, const PropertyValue& value) {
  const std::u16string name = PropertySetStreamName(fmtid);
  std::optional<EntryId> entry = file.FindChild(kRootEntry, name);
  if (!entry) {
    // The user-defined section never comes alone: the document summary section goes first.
    const bool userDefined = fmtid == kFmtidUserDefinedProperties;
    PropertySetStream stream =
        PropertySetStream::Create(userDefined ? kFmtidDocSummaryInformation : fmtid, text::kCodePageShiftJis);
    stream.AddSection(fmtid, text::kCodePageShiftJis);
    if (!stream.Write(fmtid, pid, value)) return false;
    return file.CreateStream(kRootEntry, name, stream.Serialize()).has_value();
  }
  if (!file.IsStream(*entry)) return false;
  std::optional<std::vector<std::uint8_t>> bytes = file.ReadStream(*entry);
  if (!bytes) return false;
  // A set we cannot parse is left exactly as it is.
  std::optional<PropertySetStream> stream = PropertySetStream::Parse(*bytes);
  if (!stream) return false;
  stream->AddSection(fmtid, text::kCodePageShiftJis);
  if (!stream->Write(fmtid, pid, value)) return false;
  return file.ReplaceStream(*entry, stream->Serialize());
}

}  // namespace kestrel::storage
