#include "presets/PresetValues.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "catalogue/PropertyCatalogue.h"
#include "platform/text/DecimalText.h"
#include "platform/time/DateTimeText.h"
#include "platform/time/LocalDateTime.h"

namespace kestrel::presets {
namespace {

using catalogue::AttributeChoice;
using catalogue::AttributeChoices;
using catalogue::FileTimeChoices;
using catalogue::TimePartChoice;

// One file-time group of the batch tab: one date-time value for both pickers, one value per box.
struct TimeGroup {
  std::string_view value;
  std::string_view dateCheck;
  std::string_view timeCheck;
  TimePartChoice FileTimeChoices::*date;
  TimePartChoice FileTimeChoices::*time;
};

constexpr std::array<TimeGroup, 3> kTimeGroups = {{
    {"createtime", "createtimecheckdate", "createtimechecktime", &FileTimeChoices::creationDate,
     &FileTimeChoices::creationTime},
    {"modifytime", "modifytimecheckdate", "modifytimechecktime", &FileTimeChoices::lastWriteDate,
     &FileTimeChoices::lastWriteTime},
    {"accesstime", "accesstimecheckdate", "accesstimechecktime", &FileTimeChoices::lastAccessDate,
     &FileTimeChoices::lastAccessTime},
}};

struct AttributeValue {
  std::string_view name;
  AttributeChoice AttributeChoices::*choice;
};

// The system box keeps the name "contentindex": stored presets depend on it.
constexpr std::array<AttributeValue, 4> kAttributeValues = {{
    {"readonly", &AttributeChoices::readOnly},
    {"archive", &AttributeChoices::archive},
    {"hidden", &AttributeChoices::hidden},
    {"contentindex", &AttributeChoices::system},
}};

constexpr std::string_view kBackupValue = "backupold";

std::string RowValueName(int row, std::string_view suffix) {
  std::string name(catalogue::Catalogue().Row(row).caption);
  name += suffix;
  return name;
}

std::string CheckText(bool checked) { return checked ? "1" : "0"; }

// The three-way code of an attribute box.
std::string AttributeText(AttributeChoice choice) {
  switch (choice) {
    case AttributeChoice::Set:
      return "1";
    case AttributeChoice::Clear:
      return "2";
    case AttributeChoice::Keep:
      break;
  }
  return "0";
}

AttributeChoice AttributeChoiceOf(const std::string& code) {
  if (code == "1") return AttributeChoice::Set;
  if (code == "2") return AttributeChoice::Clear;
  return AttributeChoice::Keep;
}

// Date-time text of the value with its seconds and milliseconds dropped.
std::string ToTheMinuteText(time::LocalDateTime value) {
  std::optional<time::CalendarTime> fields = time::DecodeLocalDateTime(value);
  if (!fields) return {};
  fields->second = 0;
  fields->millisecond = 0;
  // Fields that just came out of a decode always encode again.
  return time::FormatDateTimeText(time::EncodeLocalDateTime(*fields).value());
}

// What a stored row text becomes in the row: dates to the minute, counts in plain decimal.
std::string NormalisedRowText(int row, const std::string& stored, time::LocalDateTime now) {
  switch (row) {
    case catalogue::kLastPrinted:
      // Empty is the erased state of this row and stays so.
      if (stored.empty()) return {};
      [[fallthrough]];
    case catalogue::kCreated:
    case catalogue::kLastSaved:
      return ToTheMinuteText(time::ParseDateTimeText(stored).value_or(now));
    case catalogue::kRevisionNumber:
    case catalogue::kEditingTime: {
      const std::optional<std::int32_t> number = text::ParseInt32(stored);
      return number ? std::to_string(*number) : std::string("1");
    }
    default:
      return stored;
  }
}

}  // namespace

void SavePreset(PresetStore& store, const catalogue::BatchValues& values) {
  for (const TimeGroup& group : kTimeGroups) {
    const TimePartChoice& date = values.times.*group.date;
    const TimePartChoice& time = values.times.*group.time;
    store.Write(group.value, time::FormatDateTimeText(time::ComposeLocalDateTime(date.picker, time.picker)));
    store.Write(group.dateCheck, CheckText(date.checked));
    store.Write(group.timeCheck, CheckText(time.checked));
  }
  for (const AttributeValue& attribute : kAttributeValues) {
    store.Write(attribute.name, AttributeText(values.attributes.*attribute.choice));
  }
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    store.Write(RowValueName(row, "string"), values.rows.Value(row));
    store.Write(RowValueName(row, "check"), CheckText(values.rows.Included(row)));
  }
  store.Write(kBackupValue, values.backup ? std::string("1") : std::string());
}

catalogue::BatchValues ImportPreset(const PresetStore& store, time::LocalDateTime now) {
  catalogue::BatchValues values;
  for (const TimeGroup& group : kTimeGroups) {
    const time::LocalDateTime picker = time::ParseDateTimeText(store.Read(group.value)).value_or(now);
    values.times.*group.date = {store.Read(group.dateCheck) != "0", picker};
    values.times.*group.time = {store.Read(group.timeCheck) != "0", picker};
  }
  for (const AttributeValue& attribute : kAttributeValues) {
    values.attributes.*attribute.choice = AttributeChoiceOf(store.Read(attribute.name));
  }
  values.backup = store.Read(kBackupValue) == "1";
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    const auto index = static_cast<std::size_t>(row);
    values.rows.values[index] = NormalisedRowText(row, store.Read(RowValueName(row, "string")), now);
    values.rows.included[index] = store.Read(RowValueName(row, "check")) == "1";
  }
  return values;
}

}  // namespace kestrel::presets
