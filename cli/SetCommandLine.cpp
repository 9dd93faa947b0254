#include "cli/SetCommandLine.h"

#include <algorithm>
#include <array>
#include <set>
#include <string_view>

#include "cli/UsageError.h"
#include "platform/text/Blanks.h"
#include "platform/text/CodePage.h"
#include "platform/text/DecimalText.h"
#include "platform/time/DateTimeText.h"
#include "platform/time/LocalDateTime.h"

namespace kestrel::cli {
namespace {

using catalogue::AttributeChoice;
using catalogue::AttributeChoices;
using catalogue::FileTimeChoices;
using catalogue::TimePartChoice;

// What a property option's value must be, as the batch tab's editors would give it.
enum class ValueKind {
  Text,             // free text
  Number,           // the number editor: a whole number 0 to 32767
  DateTime,         // the date editor
  DateTimeOrErase,  // the date editor with its erase choice: an empty value
};

struct RowOption {
  std::string_view name;
  int row;
  ValueKind kind;
};

constexpr std::array<RowOption, catalogue::kRowCount> kRowOptions = {{
    {"--title", catalogue::kTitle, ValueKind::Text},
    {"--subject", catalogue::kSubject, ValueKind::Text},
    {"--author", catalogue::kAuthor, ValueKind::Text},
    {"--keywords", catalogue::kKeywords, ValueKind::Text},
    {"--comments", catalogue::kComments, ValueKind::Text},
    {"--category", catalogue::kCategory, ValueKind::Text},
    {"--revision", catalogue::kRevisionNumber, ValueKind::Number},
    {"--last-author", catalogue::kLastSavedBy, ValueKind::Text},
    {"--manager", catalogue::kManager, ValueKind::Text},
    {"--company", catalogue::kCompany, ValueKind::Text},
    {"--created", catalogue::kCreated, ValueKind::DateTime},
    {"--saved", catalogue::kLastSaved, ValueKind::DateTime},
    {"--editing-minutes", catalogue::kEditingTime, ValueKind::Number},
    {"--printed", catalogue::kLastPrinted, ValueKind::DateTimeOrErase},
}};

struct TimeOption {
  std::string_view name;
  TimePartChoice FileTimeChoices::*box;
  bool datePart;  // else the time part
};

constexpr std::array<TimeOption, 6> kTimeOptions = {{
    {"--file-created-date", &FileTimeChoices::creationDate, true},
    {"--file-created-time", &FileTimeChoices::creationTime, false},
    {"--file-modified-date", &FileTimeChoices::lastWriteDate, true},
    {"--file-modified-time", &FileTimeChoices::lastWriteTime, false},
    {"--file-accessed-date", &FileTimeChoices::lastAccessDate, true},
    {"--file-accessed-time", &FileTimeChoices::lastAccessTime, false},
}};

struct AttributeOption {
  std::string_view name;
  AttributeChoice AttributeChoices::*box;
};

constexpr std::array<AttributeOption, 4> kAttributeOptions = {{
    {"--readonly", &AttributeChoices::readOnly},
    {"--archive", &AttributeChoices::archive},
    {"--hidden", &AttributeChoices::hidden},
    {"--system", &AttributeChoices::system},
}};

// Options that set or remove one custom property each, and may be given again for others.
struct CustomOption {
  std::string_view name;
  std::optional<catalogue::CustomType> type;  // nullopt: removes
};

constexpr std::array<CustomOption, 5> kCustomOptions = {{
    {"--custom", catalogue::CustomType::Text},
    {"--custom-number", catalogue::CustomType::Number},
    {"--custom-date", catalogue::CustomType::Date},
    {"--custom-yes-no", catalogue::CustomType::YesNo},
    {"--remove-custom", std::nullopt},
}};

// The largest value of the number editor's spinner.
constexpr std::int32_t kMaxEditorNumber = 32767;

// The picker's own date plays no part in a time box, so a time is read on day 0.
constexpr std::string_view kDayZero = "1899/12/30 ";

template <typename Option>
const Option* Find(const auto& options, std::string_view name) {
  const auto found = std::find_if(options.begin(), options.end(), [&](const Option& o) { return o.name == name; });
  return found == options.end() ? nullptr : &*found;
}

[[noreturn]] void BadValue(std::string_view option, std::string_view value, std::string_view expected) {
  throw UsageError("option " + std::string(option) + " takes " + std::string(expected) + ", not \"" +
                   std::string(value) + "\"");
}

// The row's value as the editor would have put it in the row.
std::string RowValue(const RowOption& option, const std::string& value) {
  if (option.kind == ValueKind::Text) {
    if (!text::ToUtf8(value, text::kCodePageUtf8)) BadValue(option.name, value, "UTF-8 text");
    return value;
  }
  if (option.kind == ValueKind::Number) {
    const std::optional<std::int32_t> number = text::ParseInt32(value);
    if (!number || *number < 0 || *number > kMaxEditorNumber) {
      BadValue(option.name, value, "a whole number from 0 to 32767");
    }
    return std::to_string(*number);
  }
  if (option.kind == ValueKind::DateTimeOrErase && text::TrimBlanks(value).empty()) return {};
  const std::optional<time::LocalDateTime> parsed = time::ParseDateTimeText(value);
  if (!parsed) BadValue(option.name, value, "a date and time (yyyy/MM/dd H:mm:ss)");
  return time::FormatDateTimeText(*parsed);
}

time::LocalDateTime TimePartPicker(const TimeOption& option, const std::string& value) {
  if (option.datePart) {
    const std::optional<time::LocalDateTime> date = time::ParseDateTimeText(value);
    // A file time exists only from 1601 on: a date it cannot reach is refused here, not lost later.
    if (!date || value.find(':') != std::string::npos || !time::LocalDateTimeToFileTime(*date)) {
      BadValue(option.name, value, "a date (yyyy/MM/dd, from 1601 on)");
    }
    return *date;
  }
  const std::optional<time::LocalDateTime> timeOfDay =
      text::TrimBlanks(value).empty() ? std::nullopt : time::ParseDateTimeText(std::string(kDayZero) + value);
  if (!timeOfDay) BadValue(option.name, value, "a time (H:mm:ss or H:mm)");
  return *timeOfDay;
}

AttributeChoice AttributeValue(const AttributeOption& option, const std::string& value) {
  if (value == "on") return AttributeChoice::Set;
  if (value == "off") return AttributeChoice::Clear;
  BadValue(option.name, value, "on or off");
}

// NAME=VALUE (or NAME alone, to remove) as one custom edit; a name given twice is refused.
void AddCustomEdit(const CustomOption& option, const std::string& value, catalogue::OtherEdits& others) {
  const std::size_t equals = option.type ? value.find('=') : value.size();
  if (equals == std::string::npos || equals == 0) BadValue(option.name, value, option.type ? "NAME=VALUE" : "a NAME");
  const std::string name = value.substr(0, equals);
  if (!text::ToUtf8(name, text::kCodePageUtf8)) BadValue(option.name, value, "a UTF-8 name");
  for (const auto& [other, unused] : others.custom) {
    if (catalogue::SameCustomName(other, name)) throw UsageError("custom property \"" + name + "\" given twice");
  }
  if (!option.type) {
    others.custom.emplace_back(name, std::nullopt);
    return;
  }
  const Result<catalogue::CustomValue> parsed = catalogue::ParseCustomValue(*option.type, value.substr(equals + 1));
  if (!parsed) throw UsageError("option " + std::string(option.name) + ": " + parsed.outcome().message());
  if (*option.type == catalogue::CustomType::Text && !text::ToUtf8(parsed->text, text::kCodePageUtf8)) {
    BadValue(option.name, value, "UTF-8 text");
  }
  others.custom.emplace_back(name, *parsed);
}

}  // namespace

std::optional<SetCommandLine> ParseSetCommandLine(ArgumentScanner& args) {
  SetCommandLine commandLine;
  catalogue::BatchValues& values = commandLine.values;
  std::set<std::string> given;
  while (const std::optional<Argument> argument = args.Next()) {
    const std::string& name = argument->text;
    if (!argument->isOption) {
      commandLine.files.push_back(name);
      continue;
    }
    if (name == "--help" || name == "-h") {
      args.NoValue();
      return std::nullopt;
    }
    if (const CustomOption* custom = Find<CustomOption>(kCustomOptions, name)) {
      AddCustomEdit(*custom, args.Value(), commandLine.others);
      continue;
    }
    if (!given.insert(name).second) throw UsageError("option " + name + " given twice");
    if (name == "--remove-all-custom") {
      args.NoValue();
      commandLine.others.removeAllCustom = true;
    } else if (name == "--backup") {
      args.NoValue();
      values.backup = true;
    } else if (const RowOption* row = Find<RowOption>(kRowOptions, name)) {
      values.rows.values.at(static_cast<std::size_t>(row->row)) = RowValue(*row, args.Value());
      values.rows.included.at(static_cast<std::size_t>(row->row)) = true;
    } else if (const TimeOption* timeOption = Find<TimeOption>(kTimeOptions, name)) {
      values.times.*(timeOption->box) = {true, TimePartPicker(*timeOption, args.Value())};
    } else if (const AttributeOption* attribute = Find<AttributeOption>(kAttributeOptions, name)) {
      values.attributes.*(attribute->box) = AttributeValue(*attribute, args.Value());
    } else {
      throw UsageError("unknown option " + name);
    }
  }
  if (commandLine.files.empty()) throw UsageError("no FILE given");
  if (!catalogue::AsksForChange(values) && commandLine.others.Empty()) {
    throw UsageError("nothing to change: give at least one property, custom property, file-time or attribute option");
  }
  return commandLine;
}

}  // namespace kestrel::cli
