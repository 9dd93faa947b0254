#include "change/ApplyChange.h"

#include <memory>
#include <new>
#include <optional>

#include "catalogue/DocumentKind.h"
#include "platform/fs/FileIo.h"
#include "platform/fs/FileState.h"
#include "platform/fs/HeldOpen.h"
#include "platform/fs/PlannedFileState.h"
#include "platform/storage/OpenOutcome.h"
#include "platform/time/LocalDateTime.h"
#include "worddoc/BinaryChange.h"

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

// A binary document is written in place through one open, its lock held to the end. Its new
// attribute store comes first, in the same few calls that open it (see GiveFileStoreInPlace), so
// a read-only document is writable only for that instant; the bytes follow, the times last.
Outcome ChangeBinaryDocument(const std::string& path, const fs::FileRecord& record, const fs::FileRecord& wanted,
                             const catalogue::PropertyRows& rows) {
  fs::OpenResult opened = fs::OpenFile(path, fs::OpenMode::ReadWriteDespiteReadOnly);
  Outcome stored = Outcome::Success();
  if (opened.file) {
    stored = fs::GiveFileStoreInPlace(path, wanted);
  } else if (opened.error == fs::OpenFailure::ReadOnly && (record.attributes & fs::kAttributeReadOnly) != 0) {
    stored = fs::GiveFileStoreInPlace(path, wanted, [&] {
      opened = fs::OpenFile(path, fs::OpenMode::ReadWrite);
      return fs::DescribeOpenError(opened);
    });
  } else {
    return fs::DescribeOpenError(opened);
  }
  if (!stored) return stored;
  storage::CompoundFileOpenError error = storage::CompoundFileOpenError::None;
  std::string damage;
  auto file = storage::CompoundFile::Open(std::move(opened.file), fs::OpenMode::ReadWrite, &error, &damage);
  Outcome changed = file ? worddoc::ChangeBinaryProperties(*file, rows) : storage::DescribeOpenError(error, damage);
  if (!changed) {
    // What a failed write moved goes back: the times, then the store.
    if (file) file->File().SetTimes(record.times.lastAccess, record.times.lastWrite);
    fs::GiveFileStoreInPlace(path, record);
    return changed;
  }
  if (!file->File().SetTimes(wanted.times.lastAccess, wanted.times.lastWrite)) {
    return Outcome::Failure(FailureKind::Io, "was changed, but its times could not be set");
  }
  return Outcome::Success();
}

// The attribute store and times alone, when the properties already hold what is asked.
Outcome ChangeFileStateOnly(const std::string& path, const fs::FileRecord& wanted) {
  const Outcome stored = fs::GiveFileStoreInPlace(path, wanted);
  return stored ? fs::GiveFileTimes(path, wanted) : stored;
}

// Whether the properties would store only what the document holds already, planned in memory
// through `file`, the document opened for reading (its lock goes on return). The failures the
// change itself would meet in its plan.
Result<bool> PropertiesHeld(ooxml::PackageProperties& packages, std::unique_ptr<fs::RandomAccessFile> file,
                            const std::string& path, const catalogue::PropertyRows& rows) {
  if (catalogue::DocumentKindOf(path) == catalogue::DocumentKind::Ooxml) return packages.AlreadyHolds(*file, path, rows);
  storage::CompoundFileOpenError error = storage::CompoundFileOpenError::None;
  std::string damage;
  const auto compound = storage::CompoundFile::Open(std::move(file), fs::OpenMode::Read, &error, &damage);
  if (!compound) return storage::DescribeOpenError(error, damage);
  const Result<worddoc::BinaryChangePlan> plan = worddoc::PlanBinaryChange(*compound, rows);
  if (!plan) return plan.outcome();
  try {
    return plan->edits.Empty() && plan->ReadsBack(*compound).ok();
  } catch (const std::bad_alloc&) {
    return false;  // the change itself says what memory allows
  }
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

Outcome ApplyChange(ooxml::PackageProperties& packages, const std::string& path, const ChangeRequest& request) {
  fs::OpenResult opened = fs::OpenForReading(path);
  const std::optional<fs::FileRecord> record = fs::RecordOf(opened, path);
  if (!record) {
    return fs::DescribeUnrecordedFile(path);
  }
  // What another program has open would be saved over our change later: refuse it untouched. One
  // that writes the file refused us the read lock.
  const fs::OwnerFileNaming ownerFile = catalogue::ApplicationOf(path) == catalogue::Application::Word
                                            ? fs::OwnerFileNaming::Shortened
                                            : fs::OwnerFileNaming::WholeName;
  if (opened.error == fs::OpenFailure::Locked || fs::LockFileBeside(path, ownerFile)) {
    return Outcome::Failure(FailureKind::HeldOpen,
                            "held open by another program (a lock on it, or a lock file of LibreOffice or Office beside it)");
  }
  if (!opened.file) return fs::DescribeOpenError(opened);
  const Result<bool> held = PropertiesHeld(packages, std::move(opened.file), path, request.rows);
  if (!held) return held.outcome();
  const fs::FileTimestamps times = NewFileTimes(record->times, request.times);
  const std::uint32_t attributes = NewAttributeWord(record->attributes, request.attributes);
  if (*held && times == record->times && attributes == record->attributes) return Outcome::AlreadySo();

  const bool package = catalogue::DocumentKindOf(path) == catalogue::DocumentKind::Ooxml;
  // Everything the document must end with is decided, and refused when it could not be kept,
  // before anything is written.
  const Result<fs::FileRecord> wanted = fs::PlanFileState(
      *record, attributes, times, package && !*held ? fs::StateTarget::NewFile : fs::StateTarget::SameFile);
  if (!wanted) return wanted.outcome();
  Outcome changed = *held    ? ChangeFileStateOnly(path, *wanted)
                    : package ? packages.Write(path, request.rows, *wanted)
                              : ChangeBinaryDocument(path, *record, *wanted, request.rows);
  if (!changed) return changed;
  const std::optional<fs::FileRecord> found = fs::ReadFileRecord(path);
  if (!found) return Outcome::Failure(FailureKind::Io, "was changed, but its attributes cannot be read back");
  return fs::CheckFileState(*found, *wanted);
}

}  // namespace kestrel::change
