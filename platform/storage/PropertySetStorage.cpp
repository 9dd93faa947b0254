#include "platform/storage/PropertySetStorage.h"

#include <algorithm>
#include <array>
#include <string_view>
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
  Result<PropertySetStream> stream = PropertySetStream::Parse(*bytes);
  if (!stream || !stream->IsReadable(fmtid)) return std::nullopt;
  return std::move(*stream);
}

namespace {

// The stream's name for messages: its name without the leading \005 (all of them are ASCII).
std::string SetName(const std::u16string& streamName) {
  std::string name;
  for (char16_t c : std::u16string_view(streamName).substr(1)) name += static_cast<char>(c);
  return name;
}

// A new stream for the set: the user-defined section never comes alone, the document summary
// section goes first.
PropertySetStream NewStream(const Guid& fmtid) {
  const bool userDefined = fmtid == kFmtidUserDefinedProperties;
  PropertySetStream stream =
      PropertySetStream::Create(userDefined ? kFmtidDocSummaryInformation : fmtid, text::kCodePageShiftJis);
  stream.AddSection(fmtid, text::kCodePageShiftJis);  // a new stream takes any section
  return stream;
}

}  // namespace

Result<PropertySetUpdate> PlanPropertySetUpdate(const CompoundFile& file, const Guid& fmtid,
                                                std::span<const PropertyAssignment> assignments) {
  PropertySetUpdate update;
  update.name = PropertySetStreamName(fmtid);
  const std::string setName = SetName(update.name);
  update.stream = file.FindChild(kRootEntry, update.name);

  std::optional<PropertySetStream> stream;
  if (update.stream) {
    if (!file.IsStream(*update.stream)) {
      return Outcome::Failure(FailureKind::Damaged, setName + ": the name belongs to a storage, not a stream");
    }
    std::optional<std::vector<std::uint8_t>> bytes = file.ReadStream(*update.stream);
    if (!bytes) return Outcome::Failure(FailureKind::Damaged, setName + ": the stream's sectors cannot be read");
    // An empty stream holds no set at all: a new one takes its place, as where there is none.
    if (bytes->empty()) {
      if (assignments.empty()) return update;
      stream = NewStream(fmtid);
      if (Outcome written = stream->Write(fmtid, assignments); !written) return written.Within(setName);
      update.content = stream->Serialize();
      update.changed = true;
      return update;
    }
    Result<PropertySetStream> parsed = PropertySetStream::Parse(*bytes);
    if (!parsed) return parsed.outcome().Within(setName);
    update.content = std::move(*bytes);
    stream = std::move(*parsed);
    const bool unchanged = std::all_of(assignments.begin(), assignments.end(), [&](const PropertyAssignment& a) {
      return stream->Holds(fmtid, a.pid, a.value);
    });
    if (unchanged) return update;
    // Adding the document summary section first keeps the user-defined one second.
    if (fmtid == kFmtidUserDefinedProperties) {
      if (Outcome added = stream->AddSection(kFmtidDocSummaryInformation, text::kCodePageShiftJis); !added) {
        return added.Within(setName);
      }
    }
    if (Outcome added = stream->AddSection(fmtid, text::kCodePageShiftJis); !added) return added.Within(setName);
  } else {
    if (assignments.empty()) return update;
    stream = NewStream(fmtid);
  }
  if (Outcome written = stream->Write(fmtid, assignments); !written) return written.Within(setName);
  std::vector<std::uint8_t> content = stream->Serialize();
  update.changed = content != update.content || !update.stream;
  update.content = std::move(content);
  return update;
}

}  // namespace kestrel::storage
