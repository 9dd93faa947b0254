#include "sheet/LinePlan.h"

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <utility>
#include <variant>

#include "catalogue/PropertyCatalogue.h"
#include "platform/text/CodePage.h"
#include "platform/text/DecimalText.h"
#include "platform/text/ShiftJisBestFit.h"
#include "platform/time/DateTimeText.h"
#include "platform/time/LocalDateTime.h"
#include "reading/DocumentReading.h"

namespace kestrel::sheet {
namespace {

using catalogue::AttributeChoice;
using catalogue::AttributeChoices;
using catalogue::FileTimeChoices;
using catalogue::TimePartChoice;

// The largest value of the number editor's spinner, as "set" takes it.
constexpr std::int32_t kMaxEditorNumber = 32767;

constexpr int kFirstTimeField = catalogue::kRowCount;
constexpr int kFirstAttributeField = catalogue::kRowCount + 3;

struct TimeBoxes {
  TimePartChoice FileTimeChoices::*date;
  TimePartChoice FileTimeChoices::*timeOfDay;
};
constexpr TimeBoxes kTimeBoxes[] = {
    {&FileTimeChoices::creationDate, &FileTimeChoices::creationTime},
    {&FileTimeChoices::lastWriteDate, &FileTimeChoices::lastWriteTime},
    {&FileTimeChoices::lastAccessDate, &FileTimeChoices::lastAccessTime},
};
// In the export's order: read-only, archive, hidden, system.
constexpr AttributeChoice AttributeChoices::*kAttributeBoxes[] = {
    &AttributeChoices::readOnly, &AttributeChoices::archive, &AttributeChoices::hidden, &AttributeChoices::system};

Outcome Refused(std::string_view caption, std::string_view cell, std::string_view expected) {
  std::string message(caption);
  message += " takes ";
  message += expected;
  message += ", not \"";
  message += cell;
  message += '"';
  return Outcome::Failure(FailureKind::InvalidValue, std::move(message));
}

// What a field of the document reads as in the sheet: a sheet in code page 932 holds what the
// export wrote there, look-alikes and "?" included, so that is what an unedited cell equals.
std::string AsExported(const Sheet& sheet, const std::string& shown) {
  if (!sheet.codePage932) return shown;
  std::string bytes;
  text::AppendShiftJisBestFit(bytes, shown);
  return text::ToUtf8Lossy(bytes, text::kCodePageShiftJis);
}

// The text the editor of a date row would hold for the cell; nullopt when it is no date.
std::optional<std::string> DateText(std::string_view cell) {
  const std::optional<time::LocalDateTime> parsed = time::ParseDateTimeText(cell);
  if (!parsed) return std::nullopt;
  return time::FormatDateTimeText(*parsed);
}

// The row's new value when the cell asks for one; nullopt when it equals the shown text.
Result<std::optional<std::string>> RowValue(int row, std::string_view cell, const std::string& shown) {
  const std::string_view caption = catalogue::Catalogue().Row(row).caption;
  std::string value(cell);
  if (row == catalogue::kRevisionNumber || row == catalogue::kEditingTime) {
    const std::optional<std::int32_t> number = text::ParseInt32(cell);
    if (!number || *number < 0 || *number > kMaxEditorNumber) {
      return Refused(caption, cell, "a whole number from 0 to 32767");
    }
    value = std::to_string(*number);
  } else if (row == catalogue::kCreated || row == catalogue::kLastSaved || row == catalogue::kLastPrinted) {
    const bool erases = row == catalogue::kLastPrinted && cell.empty();
    std::optional<std::string> date = erases ? std::string() : DateText(cell);
    if (!date) return Refused(caption, cell, "a date and time (yyyy/MM/dd H:mm:ss)");
    value = std::move(*date);
  }
  if (value == shown) return std::optional<std::string>();
  return std::optional<std::string>(std::move(value));
}

// The file time of the cell, to the second; nullopt when it equals the shown text.
Result<std::optional<time::LocalDateTime>> FileTimeValue(std::string_view caption, std::string_view cell,
                                                         const std::string& shown) {
  const std::optional<time::LocalDateTime> parsed = time::ParseDateTimeText(cell);
  // A file time exists only from 1601 on: a date it cannot reach is refused here, not lost later.
  if (!parsed || !time::LocalDateTimeToFileTime(*parsed)) {
    return Refused(caption, cell, "a date and time from 1601 on (yyyy/MM/dd H:mm:ss)");
  }
  if (time::FormatDateTimeText(*parsed) == shown) return std::optional<time::LocalDateTime>();
  return std::optional<time::LocalDateTime>(*parsed);
}

Outcome WrongWidth(const Sheet& sheet, const SheetLine& line) {
  if (line.fields.size() == sheet.width) return Outcome::Success();
  return Outcome::Failure(FailureKind::InvalidValue, "has " + std::to_string(line.fields.size()) +
                                                         " fields where the header line has " +
                                                         std::to_string(sheet.width));
}

}  // namespace

Result<LinePlan> PlanAgainst(const Sheet& sheet, const SheetLine& line, const csv::ShownFields& shown) {
  if (Outcome width = WrongWidth(sheet, line); !width) return width;
  LinePlan plan;
  plan.document = std::string(sheet.Field(line, kFullNameColumn).value_or(""));
  for (int field = 0; field < csv::kShownFieldCount; ++field) {
    const int column = kFirstShownColumn + field;
    const std::optional<std::string_view> cell = sheet.Field(line, column);
    const std::string& now = shown[static_cast<std::size_t>(field)];
    if (!cell || *cell == AsExported(sheet, now)) continue;
    const std::string_view caption = ColumnName(column);
    std::string after;
    if (field < kFirstTimeField) {
      Result<std::optional<std::string>> value = RowValue(field, *cell, now);
      if (!value) return value.outcome();
      if (!*value) continue;
      after = **value;
      plan.request.rows.values[static_cast<std::size_t>(field)] = std::move(**value);
      plan.request.rows.included[static_cast<std::size_t>(field)] = true;
    } else if (field < kFirstAttributeField) {
      const Result<std::optional<time::LocalDateTime>> value = FileTimeValue(caption, *cell, now);
      if (!value) return value.outcome();
      if (!*value) continue;
      after = time::FormatDateTimeText(**value);
      // Both parts: the shown time becomes the cell's, to the second.
      const TimeBoxes& boxes = kTimeBoxes[field - kFirstTimeField];
      plan.request.times.*boxes.date = {true, **value};
      plan.request.times.*boxes.timeOfDay = {true, **value};
    } else {
      if (*cell != "Y" && !cell->empty()) return Refused(caption, *cell, "\"Y\" or nothing");
      after = std::string(*cell);
      if (after == now) continue;
      plan.request.attributes.*kAttributeBoxes[field - kFirstAttributeField] =
          after.empty() ? AttributeChoice::Clear : AttributeChoice::Set;
    }
    plan.differences.push_back({std::string(caption), now, std::move(after)});
  }
  return plan;
}

Result<LinePlan> PlanLine(ooxml::PackageProperties& packages, const Sheet& sheet, const SheetLine& line) {
  if (Outcome width = WrongWidth(sheet, line); !width) return width;
  const std::string path(sheet.Field(line, kFullNameColumn).value_or(""));
  if (path.empty()) return Outcome::Failure(FailureKind::NotFound, "names no document");
  const Result<reading::DocumentReading> reading = reading::ReadDocument(packages, path);
  if (!reading) return reading.outcome().Within(path);
  // A compound file that is none reads as empty rows with its reason: never a line to compare.
  if (!reading->Succeeded() || !reading->outcome) {
    const Outcome why = reading->outcome.ok() ? Outcome::Failure(FailureKind::HeldOpen, "cannot be read")
                                              : reading->outcome;
    return why.Within(path);
  }
  return PlanAgainst(sheet, line, csv::DocumentFields(*reading->rows, reading->record));
}

std::vector<std::optional<std::size_t>> EarlierLinesOfSameDocument(const Sheet& sheet) {
  // A file that exists is known by its device and inode, so another name of it counts too; a
  // path that reaches nothing only by its text (its line is refused as missing anyway).
  using Key = std::variant<std::pair<dev_t, ino_t>, std::string>;
  std::map<Key, std::size_t> first;
  std::vector<std::optional<std::size_t>> earlier;
  for (const SheetLine& line : sheet.lines) {
    const std::string path(sheet.Field(line, kFullNameColumn).value_or(""));
    struct stat info {};
    const Key key = !path.empty() && ::stat(path.c_str(), &info) == 0 ? Key(std::pair(info.st_dev, info.st_ino)) : Key(path);
    const auto [found, added] = first.emplace(key, line.number);
    earlier.push_back(added || path.empty() ? std::nullopt : std::optional<std::size_t>(found->second));
  }
  return earlier;
}

Result<LinePlan> PlanSheetLine(ooxml::PackageProperties& packages, const Sheet& sheet, std::size_t index,
                               const std::vector<std::optional<std::size_t>>& earlier) {
  if (earlier.at(index)) {
    std::string reason = "names the same document as line ";
    reason += std::to_string(*earlier[index]);
    return Outcome::Failure(FailureKind::InvalidValue, std::move(reason));
  }
  return PlanLine(packages, sheet, sheet.lines.at(index));
}

}  // namespace kestrel::sheet
