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

namespace {

// The largest property-set stream read. The largest of the 73 compound files of the test data
// and corpora is 87,268 bytes (a SummaryInformation with its thumbnail); a stream this large
// would hold a thumbnail of a few megapixels, and parsing and rewriting it stays a few copies of
// it in memory.
constexpr std::uint64_t kMaxPropertySetStream = 4 << 20;

// The stream's name for messages: its name without the leading \005 (all of them are ASCII).
std::string SetName(std::u16string_view streamName) {
  std::string name;
  for (char16_t c : streamName.substr(1)) name += static_cast<char>(c);
  return name;
}

// The bytes of the set's stream `entry`; nullopt when its sectors cannot be read. A stream larger
// than any property set is refused before it is read (Unsupported, naming it and its size).
Result<std::optional<std::vector<std::uint8_t>>> ReadSetStream(const CompoundFile& file, EntryId entry,
                                                               const std::u16string& name) {
  if (const std::uint64_t size = file.StreamSize(entry); size > kMaxPropertySetStream) {
    return Outcome::Failure(FailureKind::Unsupported, SetName(name) + ": the stream holds " + std::to_string(size) +
                                                          " bytes; property sets larger than " +
                                                          std::to_string(kMaxPropertySetStream >> 20) + " MiB are not read");
  }
  return file.ReadStream(entry);
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

Result<std::optional<PropertySetStream>> ReadPropertySet(const CompoundFile& file, const Guid& fmtid) {
  const std::u16string name = PropertySetStreamName(fmtid);
  std::optional<EntryId> entry = file.FindChild(kRootEntry, name);
  if (!entry || !file.IsStream(*entry)) return std::optional<PropertySetStream>();
  Result<std::optional<std::vector<std::uint8_t>>> bytes = ReadSetStream(file, *entry, name);
  if (!bytes) return bytes.outcome();
  if (!*bytes) return std::optional<PropertySetStream>();
  Result<PropertySetStream> stream = PropertySetStream::Parse(**bytes);
  if (!stream || !stream->IsReadable(fmtid)) return std::optional<PropertySetStream>();
  return std::optional<PropertySetStream>(std::move(*stream));
}

Result<PropertySetUpdate> PlanPropertySetUpdate(const CompoundFile& file, const Guid& fmtid,
                                                std::span<const PropertyAssignment> assignments) {
  SectionChange change;
  change.fmtid = fmtid;
  change.assignments.assign(assignments.begin(), assignments.end());
  return PlanPropertySetUpdate(file, std::span(&change, 1));
}

namespace {

// Applies one change to the stream, created when there is none and something is to be stored.
Outcome ApplyChange(std::optional<PropertySetStream>& stream, const SectionChange& change) {
  std::vector<PropertyAssignment> assignments;
  for (const PropertyAssignment& assignment : change.assignments) {
    if (!stream || !stream->Holds(change.fmtid, assignment.pid, assignment.value)) assignments.push_back(assignment);
  }
  const bool stores = !assignments.empty() || !change.names.empty();
  if (!stores && (!stream || !stream->HasSection(change.fmtid) || change.removals.empty())) return Outcome::Success();
  if (!stream) stream = NewStream(change.fmtid);
  if (stores) {
    // Adding the document summary section first keeps the user-defined one second.
    if (change.fmtid == kFmtidUserDefinedProperties) {
      if (Outcome added = stream->AddSection(kFmtidDocSummaryInformation, text::kCodePageShiftJis); !added) return added;
    }
    if (Outcome added = stream->AddSection(change.fmtid, text::kCodePageShiftJis); !added) return added;
  }
  const auto count = [&] {
    const auto properties = stream->Properties(change.fmtid);
    return properties ? properties->size() : 0;
  };
  const std::size_t before = count();
  if (Outcome removed = stream->Remove(change.fmtid, change.removals); !removed) return removed;
  const bool removedAny = count() != before;
  if (!assignments.empty()) {
    if (Outcome written = stream->Write(change.fmtid, assignments); !written) return written;
  }
  if (!change.names.empty()) {
    if (Outcome named = stream->Name(change.fmtid, change.names); !named) return named;
  }
  const auto properties = stream->Properties(change.fmtid);
  const bool empty = properties && std::all_of(properties->begin(), properties->end(),
                                               [](const StoredProperty& p) { return p.pid == kPidCodePage; });
  if (change.dropWhenEmpty && removedAny && empty) return stream->RemoveSection(change.fmtid);
  return Outcome::Success();
}

}  // namespace

Result<PropertySetUpdate> PlanPropertySetUpdate(const CompoundFile& file, std::span<const SectionChange> changes) {
  PropertySetUpdate update;
  if (changes.empty()) return update;
  update.name = PropertySetStreamName(changes.front().fmtid);
  const std::string setName = SetName(update.name);
  update.stream = file.FindChild(kRootEntry, update.name);

  std::optional<PropertySetStream> stream;
  if (update.stream) {
    if (!file.IsStream(*update.stream)) {
      return Outcome::Failure(FailureKind::Damaged, setName + ": the name belongs to a storage, not a stream");
    }
    Result<std::optional<std::vector<std::uint8_t>>> read = ReadSetStream(file, *update.stream, update.name);
    if (!read) return read.outcome();
    std::optional<std::vector<std::uint8_t>>& bytes = *read;
    if (!bytes) return Outcome::Failure(FailureKind::Damaged, setName + ": the stream's sectors cannot be read");
    // An empty stream holds no set at all: a new one takes its place, as where there is none.
    if (!bytes->empty()) {
      Result<PropertySetStream> parsed = PropertySetStream::Parse(*bytes);
      if (!parsed) return parsed.outcome().Within(setName);
      stream = std::move(*parsed);
    }
    update.content = std::move(*bytes);
  }
  for (const SectionChange& change : changes) {
    if (Outcome applied = ApplyChange(stream, change); !applied) return applied.Within(setName);
  }
  if (!stream) return update;
  std::vector<std::uint8_t> content = stream->Serialize();
  update.changed = content != update.content || !update.stream;
  update.content = std::move(content);
  return update;
}

}  // namespace kestrel::storage
