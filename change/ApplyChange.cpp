#include "change/ApplyChange.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "catalogue/DocumentKind.h"
#include "platform/fs/FileState.h"
#include "platform/fs/HeldOpen.h"
#include "platform/fs/PlannedFileState.h"
#include "platform/time/LocalDateTime.h"
#include "reading/DocumentReading.h"

namespace kestrel::change {
namespace {

using catalogue::AttributeChoice;
using catalogue::TimePartChoice;

// A time whose two boxes are clear is the recorded instant itself, nanoseconds included, which
// undoes what the property writing did to it. Otherwise the recorded local time with the checked
// parts replaced; a value that cannot become a file time leaves the recorded one.
fs::Timestamp NewFileTime(const fs::Timestamp& recorded, const TimePartChoice& date, const TimePartChoice& timeOfDay) {
  if (!date.checked && !timeOfDay.checked) return recorded;
  const auto base = time::FileTimeToLocalDateTime(fs::FileTimeOf(recorded));
  if (!base && !(date.checked && timeOfDay.checked)) return recorded;
  time::LocalDateTime value = base.value_or(0);
  if (date.checked) value = time::ComposeLocalDateTime(time::DatePart(date.picker), time::TimePart(value));
  if (timeOfDay.checked) value = time::ComposeLocalDateTime(time::DatePart(value), time::TimePart(timeOfDay.picker));
  const auto fileTime = time::LocalDateTimeToFileTime(value);
  return fileTime ? fs::TimestampOf(*fileTime) : recorded;
}

fs::FileTimestamps NewFileTimes(const fs::FileTimestamps& recorded, const catalogue::FileTimeChoices& choices) {
  return {NewFileTime(recorded.creation, choices.creationDate, choices.creationTime),
          NewFileTime(recorded.lastWrite, choices.lastWriteDate, choices.lastWriteTime),
          NewFileTime(recorded.lastAccess, choices.lastAccessDate, choices.lastAccessTime)};
}

std::uint32_t ApplyChoice(std::uint32_t word, std::uint32_t bit, AttributeChoice choice) {
  switch (choice) {
    case AttributeChoice::Set:
      return word | bit;
    case AttributeChoice::Clear:
      return word & ~bit;
    case AttributeChoice::Keep:
      break;
  }
  return word;
}

std::uint32_t NewAttributeWord(std::uint32_t recorded, const catalogue::AttributeChoices& choices) {
  std::uint32_t word = ApplyChoice(recorded, fs::kAttributeReadOnly, choices.readOnly);
  word = ApplyChoice(word, fs::kAttributeArchive, choices.archive);
  word = ApplyChoice(word, fs::kAttributeHidden, choices.hidden);
  return ApplyChoice(word, fs::kAttributeSystem, choices.system);
}

// The attribute store and times alone, when the properties already hold what is asked.
Outcome ChangeFileStateOnly(const std::string& path, const fs::FileRecord& wanted, const fs::CommitSteps& steps) {
  if (steps.beforeChange) {
    if (Outcome done = steps.beforeChange(); !done) return done;
  }
  const Outcome stored = fs::GiveFileStoreInPlace(path, wanted);
  return stored ? fs::GiveFileTimes(path, wanted) : stored;
}

}  // namespace

ChangeRequest ChangeRequest::Single(const std::array<std::string, catalogue::kRowCount>& values,
                                    const SinglePickers& pickers, const catalogue::AttributeChoices& attributes) {
  ChangeRequest request;
  request.rows = catalogue::PropertyRows::AllIncluded(values);
  request.times = {{true, pickers.creationDate},  {true, pickers.creationTime},   {true, pickers.lastWriteDate},
                   {true, pickers.lastWriteTime}, {true, pickers.lastAccessDate}, {true, pickers.lastAccessTime}};
  request.attributes = attributes;
  return request;
}

ChangeRequest ChangeRequest::Edited(const SingleTab& shown, const SingleTab& now) {
  ChangeRequest request = Single(now.values, now.pickers, now.attributes);
  for (std::size_t row = 0; row < now.values.size(); ++row) {
    request.rows.included.at(row) = now.values.at(row) != shown.values.at(row);
  }
  using Pickers = SinglePickers;
  using Choices = catalogue::FileTimeChoices;
  struct TimePair {
    time::LocalDateTime Pickers::*date;
    time::LocalDateTime Pickers::*timeOfDay;
    catalogue::TimePartChoice Choices::*dateChoice;
    catalogue::TimePartChoice Choices::*timeChoice;
  };
  constexpr TimePair kPairs[] = {
      {&Pickers::creationDate, &Pickers::creationTime, &Choices::creationDate, &Choices::creationTime},
      {&Pickers::lastWriteDate, &Pickers::lastWriteTime, &Choices::lastWriteDate, &Choices::lastWriteTime},
      {&Pickers::lastAccessDate, &Pickers::lastAccessTime, &Choices::lastAccessDate, &Choices::lastAccessTime}};
  for (std::size_t i = 0; i < std::size(kPairs); ++i) {
    const TimePair& pair = kPairs[i];
    bool dateEdited = now.pickers.*pair.date != shown.pickers.*pair.date;
    bool timeEdited = now.pickers.*pair.timeOfDay != shown.pickers.*pair.timeOfDay;
    if (!shown.timesShown.at(i) && (dateEdited || timeEdited)) dateEdited = timeEdited = true;
    (request.times.*pair.dateChoice).checked = dateEdited;
    (request.times.*pair.timeChoice).checked = timeEdited;
  }
  using catalogue::AttributeChoice;
  const auto edited = [](AttributeChoice before, AttributeChoice after) {
    return before == after ? AttributeChoice::Keep : after;
  };
  request.attributes = {edited(shown.attributes.readOnly, now.attributes.readOnly),
                        edited(shown.attributes.archive, now.attributes.archive),
                        edited(shown.attributes.hidden, now.attributes.hidden),
                        edited(shown.attributes.system, now.attributes.system)};
  return request;
}

ChangeRequest ChangeRequest::Batch(const catalogue::BatchValues& values) {
  ChangeRequest request;
  request.rows = values.rows;
  request.times = values.times;
  request.attributes = values.attributes;
  return request;
}

ChangeRequest ChangeRequest::Removal(std::span<const catalogue::PersonalItem> items) {
  const auto asked = [&items](catalogue::PersonalItem item) { return std::find(items.begin(), items.end(), item) != items.end(); };
  ChangeRequest request;  // every row empty, times and attributes kept
  for (const catalogue::PersonalItemName& name : catalogue::kPersonalItems) {
    if (name.row >= 0 && asked(name.item)) request.rows.included.at(static_cast<std::size_t>(name.row)) = true;
  }
  request.others.removeAllCustom = asked(catalogue::PersonalItem::Custom);
  request.others.removeTemplate = asked(catalogue::PersonalItem::Template);
  request.others.removeHyperlinkBase = asked(catalogue::PersonalItem::HyperlinkBase);
  return request;
}

struct PreparedChange::Plan {
  std::string path;
  reading::OpenedDocument document;
  bool storesNew = false;
  std::optional<fs::FileRecord> wanted;  // nullopt: nothing to write
};

PreparedChange::PreparedChange(std::unique_ptr<Plan> plan) : plan_(std::move(plan)) {}
PreparedChange::PreparedChange(PreparedChange&&) noexcept = default;
PreparedChange& PreparedChange::operator=(PreparedChange&&) noexcept = default;
PreparedChange::~PreparedChange() = default;

bool PreparedChange::AlreadySo() const { return !plan_->wanted; }

bool PreparedChange::WritesNewFile() const {
  return plan_->wanted && plan_->storesNew && plan_->document.document->WritesNewFile();
}

Result<PreparedChange> PrepareChange(ooxml::PackageProperties& packages, const std::string& path,
                                     const ChangeRequest& request) {
  Result<reading::OpenedDocument> document = reading::OpenDocument(packages, path);
  if (!document) return document.outcome();
  auto plan = std::make_unique<PreparedChange::Plan>(PreparedChange::Plan{path, std::move(*document), false, std::nullopt});
  const fs::FileRecord& record = plan->document.record;
  // What another program has open would be saved over our change later: refuse it untouched. One
  // that writes the file refused us the read lock.
  const fs::OwnerFileNaming ownerFile = catalogue::ApplicationOf(path) == catalogue::Application::Word
                                            ? fs::OwnerFileNaming::Shortened
                                            : fs::OwnerFileNaming::WholeName;
  if (plan->document.opened.kind() == FailureKind::HeldOpen || fs::LockFileBeside(path, ownerFile)) {
    return Outcome::Failure(FailureKind::HeldOpen,
                            "held open by another program (a lock on it, or a lock file of LibreOffice or Office beside it)");
  }
  if (!plan->document.opened) return plan->document.opened;
  catalogue::PropertyDocument& properties = *plan->document.document;
  const Result<bool> storesNew = properties.Plan(request.rows, request.others);
  if (!storesNew) return storesNew.outcome();
  plan->storesNew = *storesNew;
  const fs::FileTimestamps times = NewFileTimes(record.times, request.times);
  const std::uint32_t attributes = NewAttributeWord(record.attributes, request.attributes);
  if (!*storesNew && times == record.times && attributes == record.attributes) return PreparedChange(std::move(plan));

  // Everything the document must end with is decided, and refused when it could not be kept,
  // before anything is written.
  Result<fs::FileRecord> wanted = fs::PlanFileState(
      record, attributes, times,
      *storesNew && properties.WritesNewFile() ? fs::StateTarget::NewFile : fs::StateTarget::SameFile);
  if (!wanted) return wanted.outcome();
  plan->wanted = std::move(*wanted);
  return PreparedChange(std::move(plan));
}

Outcome PreparedChange::Write(const fs::CommitSteps& steps) {
  if (!plan_->wanted) return Outcome::AlreadySo();
  const fs::FileRecord& wanted = *plan_->wanted;
  Outcome changed = plan_->storesNew ? plan_->document.document->Write(wanted, steps)
                                     : ChangeFileStateOnly(plan_->path, wanted, steps);
  if (!changed) return changed;
  const std::optional<fs::FileRecord> found = fs::ReadFileRecord(plan_->path);
  if (!found) return Outcome::Failure(FailureKind::Io, "was changed, but its attributes cannot be read back");
  return fs::CheckFileState(*found, wanted);
}

Outcome ApplyChange(ooxml::PackageProperties& packages, const std::string& path, const ChangeRequest& request) {
  Result<PreparedChange> prepared = PrepareChange(packages, path, request);
  return prepared ? prepared->Write() : prepared.outcome();
}

}  // namespace kestrel::change
