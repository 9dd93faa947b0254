#include "change/ApplyChange.h"

#include <exception>

#include "catalogue/DocumentKind.h"
#include "doc/DopStatistics.h"
#include "doc/PropertyText.h"
#include "ooxml/OoxmlProperties.h"
#include "platform/fs/FileState.h"
#include "platform/fs/HeldOpen.h"
#include "platform/text/Blanks.h"
#include "platform/time/LocalDateTime.h"

namespace kestrel::change {
namespace {

using catalogue::AttributeChoice;
using catalogue::TimePartChoice;

bool WriteBinaryProperties(const std::string& path, const catalogue::PropertyRows& rows) {
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    if (!rows.Included(row)) continue;
    const auto& entry = catalogue::Catalogue().Row(row);
    const std::string value(text::TrimSpaceAndControls(rows.Value(row)));
    const auto style = row == catalogue::kEditingTime ? doc::FileTimeStyle::Minutes : doc::FileTimeStyle::DateTime;
    if (!doc::WritePropertyText(path, doc::FmtidOf(entry.propertySet), static_cast<std::uint32_t>(entry.propertyId),
                                entry.valueType, value, style)) {
      return false;
    }
  }
  // Also with no row included: the block is rewritten as it is, so a file that is no Word
  // document fails the change.
  return doc::BuildDopDates(path, rows);
}

// False for any failure, a date text that does not parse and an error of the package layers included.
bool WriteProperties(zip::TPackageZip& myzip, xml::XmlDocument& axml, const std::string& path,
                     const catalogue::PropertyRows& rows) {
  try {
    if (catalogue::DocumentKindOf(path) == catalogue::DocumentKind::Ooxml) {
      return ooxml::WriteOoxmlProperties(myzip, axml, path, rows);
    }
    return WriteBinaryProperties(path, rows);
  } catch (const std::exception&) {
    return false;
  }
}

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

// The times in one call, then the attribute word. Neither outcome counts.
void SetTimesAndAttributes(const std::string& path, const fs::FileRecord& record, const ChangeRequest& request) {
  const auto times = NewFileTimes(record.times, request.times);
  // Whether this call stores a creation time: the file no longer showing the one wanted (a
  // rewritten package is a new file) or the user changing it.
  bool creationStored = false;
  fs::SetFileTimestamps(path, times, &creationStored);
  const std::uint32_t word = NewAttributeWord(record.attributes, request.attributes);
  if (word == record.attributes && !creationStored) {
    // The bits the document had: its exact state, so nothing is added to it.
    fs::RestoreFileAttributes(path, record);
  } else {
    // Keeps the creation time just stored beside the bits.
    fs::SetFileAttributes(path, word);
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

ChangeRequest ChangeRequest::Batch(const catalogue::BatchValues& values) {
  ChangeRequest request;
  request.rows = values.rows;
  request.times = values.times;
  request.attributes = values.attributes;
  return request;
}

bool ApplyChange(zip::TPackageZip& myzip, xml::XmlDocument& axml, const std::string& path,
                 const ChangeRequest& request) {
  const auto record = fs::ReadFileRecord(path);
  if (!record) return false;
  // What another program has open would be saved over our change later: refuse it untouched.
  if (fs::HeldOpenByAnotherProgram(path)) return false;
  if ((record->attributes & fs::kAttributeReadOnly) != 0 &&
      !fs::SetFileAttributes(path, record->attributes & ~fs::kAttributeReadOnly)) {
    return false;
  }
  if (!WriteProperties(myzip, axml, path, request.rows)) {
    // A failed change must not leave a read-only document writable.
    fs::RestoreFileAttributes(path, *record);
    return false;
  }
  SetTimesAndAttributes(path, *record, request);
  return true;
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
