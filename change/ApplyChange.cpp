#include "change/ApplyChange.h"

#include <memory>
#include <new>
#include <optional>

#include "catalogue/DocumentKind.h"
#include "platform/fs/FileIo.h"
#include "platform/fs/FileState.h"
#include "platform/fs/HeldOpen.h"
#include "platform/fs/WriteOpen.h"
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

// The attribute word after the times: the document's exact recorded state when nothing changes,
// so nothing is added to it. The outcome does not count.
void SetAttributes(const std::string& path, const fs::FileRecord& record, const ChangeRequest& request,
                   bool creationStored) {
  const std::uint32_t word = NewAttributeWord(record.attributes, request.attributes);
  if (word == record.attributes && !creationStored) {
    fs::RestoreFileAttributes(path, record);
  } else {
    // Keeps the creation time just stored beside the bits.
    fs::SetFileAttributes(path, word);
  }
}

// A binary document: one open for the whole change, its lock held to the end, the read-only bit
// cleared only for the instant of that open. The times go through the same open.
Outcome ChangeBinaryDocument(const std::string& path, const fs::FileRecord& record, const ChangeRequest& request) {
  fs::OpenResult opened = fs::OpenForWriting(path, record);
  if (!opened.file) return fs::DescribeOpenError(opened);
  storage::CompoundFileOpenError error = storage::CompoundFileOpenError::None;
  std::string damage;
  auto file = storage::CompoundFile::Open(std::move(opened.file), fs::OpenMode::ReadWrite, &error, &damage);
  if (!file) return storage::DescribeOpenError(error, damage);
  if (Outcome changed = worddoc::ChangeBinaryProperties(*file, request.rows); !changed) return changed;
  bool creationStored = false;
  fs::SetOpenFileTimestamps(file->File(), path, NewFileTimes(record.times, request.times), &creationStored);
  file.reset();  // the lock goes; the attributes come last, as a writer's would
  SetAttributes(path, record, request, creationStored);
  return Outcome::Success();
}

// The rewrite of a read-only package where the system refuses us to open it for writing: its bit
// is cleared for the rewrite, and put back when the rewrite fails.
Outcome WritePackageWithBitCleared(ooxml::PackageProperties& packages, const std::string& path,
                                   const fs::FileRecord& record, const ChangeRequest& request) {
  if (!fs::SetFileAttributes(path, record.attributes & ~fs::kAttributeReadOnly)) {
    return Outcome::Failure(FailureKind::ReadOnly, "its read-only bit cannot be cleared");
  }
  Outcome written = packages.Write(path, request.rows);
  if (!written) fs::RestoreFileAttributes(path, record);
  return written;
}

// A package is rewritten beside itself and renamed over it; the new file takes the old one's
// mode and attribute store. Its times are then set through one open of the new file.
Outcome ChangePackage(ooxml::PackageProperties& packages, const std::string& path, const fs::FileRecord& record,
                      const ChangeRequest& request) {
  Outcome written = packages.Write(path, request.rows);
  if (!written && written.kind() == FailureKind::Io && (record.attributes & fs::kAttributeReadOnly) != 0) {
    written = WritePackageWithBitCleared(packages, path, record, request);
  }
  if (!written) return written;
  bool creationStored = false;
  if (const auto rewritten = fs::ReadFileRecord(path)) {
    fs::OpenResult opened = fs::OpenForWriting(path, *rewritten);
    if (opened.file) {
      fs::SetOpenFileTimestamps(*opened.file, path, NewFileTimes(record.times, request.times), &creationStored);
    }
  }
  SetAttributes(path, record, request, creationStored);
  return Outcome::Success();
}

// Whether the change would store only what the document holds already, so that nothing need be
// written: the times and the attribute word as the change would make them, then the properties
// planned in memory through `file`, the document opened for reading (its lock goes on return).
// The failures the change itself would meet in its plan.
Result<bool> AlreadyHolds(ooxml::PackageProperties& packages, std::unique_ptr<fs::RandomAccessFile> file,
                          const std::string& path, const fs::FileRecord& record, const ChangeRequest& request) {
  if (NewFileTimes(record.times, request.times) != record.times ||
      NewAttributeWord(record.attributes, request.attributes) != record.attributes) {
    return false;
  }
  if (catalogue::DocumentKindOf(path) == catalogue::DocumentKind::Ooxml) {
    return packages.AlreadyHolds(*file, path, request.rows);
  }
  storage::CompoundFileOpenError error = storage::CompoundFileOpenError::None;
  std::string damage;
  const auto compound = storage::CompoundFile::Open(std::move(file), fs::OpenMode::Read, &error, &damage);
  if (!compound) return storage::DescribeOpenError(error, damage);
  const Result<worddoc::BinaryChangePlan> plan = worddoc::PlanBinaryChange(*compound, request.rows);
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
  if (opened.file) {
    const Result<bool> holds = AlreadyHolds(packages, std::move(opened.file), path, *record, request);
    if (!holds) return holds.outcome();
    if (*holds) return Outcome::AlreadySo();
  }
  if (catalogue::DocumentKindOf(path) == catalogue::DocumentKind::Ooxml) {
    return ChangePackage(packages, path, *record, request);
  }
  return ChangeBinaryDocument(path, *record, request);
}

bool SetFileTimes(const std::string& path, time::LocalDateTime creation, time::LocalDateTime lastWrite,
                  time::LocalDateTime lastAccess) {
  const auto creationTime = time::LocalDateTimeToFileTime(creation);
  const auto lastWriteTime = time::LocalDateTimeToFileTime(lastWrite);
  const auto lastAccessTime = time::LocalDateTimeToFileTime(lastAccess);
  if (!creationTime || !lastWriteTime || !lastAccessTime) return false;
  return fs::SetFileTimestamps(path, {fs::TimestampOf(*creationTime), fs::TimestampOf(*lastWriteTime),
                                      fs::TimestampOf(*lastAccessTime)}) != fs::SetTimesResult::NotOpened;
}

}  // namespace kestrel::change
