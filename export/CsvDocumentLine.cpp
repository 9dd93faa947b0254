#include "export/CsvDocumentLine.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "export/CsvLines.h"
#include "platform/fs/FileState.h"
#include "platform/time/DateTimeText.h"
#include "platform/time/LocalDateTime.h"
#include "reading/DocumentReading.h"

namespace kestrel::csv {
namespace {

// 1904-05-20 00:00 local time. File systems that keep no access time report zero, which is
// written as an empty field rather than as a date nobody accessed the file on.
constexpr time::LocalDateTime kLastAccessThreshold = 1602.0;

std::string TimeText(time::FileTime fileTime) {
  const std::optional<time::LocalDateTime> local = time::FileTimeToLocalDateTime(fileTime);
  return local ? time::FormatDateTimeText(*local) : std::string();
}

std::string LastAccessText(time::FileTime fileTime) {
  const std::optional<time::LocalDateTime> local = time::FileTimeToLocalDateTime(fileTime);
  return local && *local > kLastAccessThreshold ? time::FormatDateTimeText(*local) : std::string();
}

}  // namespace

std::array<std::string, 3> FileTimeTexts(const fs::FileTimeSet& times) {
  return {TimeText(times.creation), TimeText(times.lastWrite), LastAccessText(times.lastAccess)};
}

ShownFields DocumentFields(const catalogue::PropertyTexts& rows, const fs::FileRecord& record) {
  ShownFields fields;
  std::size_t next = 0;
  for (const std::string& text : rows) fields[next++] = text;
  for (std::string& text : FileTimeTexts(record.times.FileTimes())) fields[next++] = std::move(text);
  for (const std::uint32_t bit : {fs::kAttributeReadOnly, fs::kAttributeArchive, fs::kAttributeHidden, fs::kAttributeSystem}) {
    // Appended to the empty field: g++ -O3 takes an assignment here for an overlapping copy.
    if ((record.attributes & bit) != 0) fields[next] += 'Y';
    ++next;
  }
  return fields;
}

Outcome AppendDocumentLine(ooxml::PackageProperties& packages, const std::string& path, const std::string& fullPath,
                           std::vector<std::string>& lines) {
  std::string line;
  AppendField(line, fullPath, false);
  AppendField(line, CsvFileName(fullPath), false);

  // The reading records the file's state first and puts it back afterwards, also when a package
  // cannot be read, so that an export never leaves a trace on a document.
  const Result<reading::DocumentReading> reading = reading::ReadDocument(packages, path);
  if (!reading) {
    lines.push_back(std::move(line));
    return reading.outcome();
  }
  if (!reading->rows) return reading->outcome;

  const ShownFields fields = DocumentFields(*reading->rows, reading->record);
  for (std::size_t i = 0; i < fields.size(); ++i) AppendField(line, fields[i], i + 1 == fields.size());
  lines.push_back(std::move(line));
  return reading->outcome;
}

}  // namespace kestrel::csv
