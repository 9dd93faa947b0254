#include "export/JsonDocumentLine.h"

#include <charconv>
#include <string_view>
#include <utility>

#include "export/CsvDocumentLine.h"
#include "export/CsvLines.h"
#include "export/JsonText.h"
#include "platform/fs/FileState.h"
#include "platform/time/DateTimeText.h"
#include "platform/time/TimeZone.h"
#include "reading/DocumentReading.h"

namespace kestrel::json {

const std::array<const char*, catalogue::kRowCount> kPropertyKeys = {
    "title",       "subject", "author",  "keywords", "comments",  "category",       "revision",
    "lastSavedBy", "manager", "company", "created",  "lastSaved", "editingMinutes", "lastPrinted"};

namespace {

using catalogue::CustomType;

// Null when empty, ISO 8601 when the text is a date as the program shows it, the text otherwise.
void DateValue(Writer& writer, std::string_view text, std::int64_t utcOffsetSeconds) {
  if (text.empty()) {
    writer.Null();
    return;
  }
  const std::optional<time::LocalDateTime> local = time::ParseDateTimeText(text);
  const std::string iso = local ? IsoDateTime(*local, utcOffsetSeconds) : std::string();
  writer.String(iso.empty() ? text : std::string_view(iso));
}

// Null when empty, a number when the text is a whole one (no sign but "-", no blanks), the text
// otherwise: a package may store any text as its revision.
void WholeNumberValue(Writer& writer, std::string_view text) {
  if (text.empty()) {
    writer.Null();
    return;
  }
  std::int64_t number = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, number);
  if (error == std::errc() && stop == end) {
    writer.Number(number);
  } else {
    writer.String(text);
  }
}

bool IsDateRow(int row) {
  return row == catalogue::kCreated || row == catalogue::kLastSaved || row == catalogue::kLastPrinted;
}

std::string TypeKey(const catalogue::OtherProperty& property) {
  if (!property.type) return property.otherType;
  switch (*property.type) {
    case CustomType::Number: return "number";
    case CustomType::Date: return "date";
    case CustomType::YesNo: return "yesNo";
    case CustomType::Text: break;
  }
  return "text";
}

// The value as its type: the shown text read back, and left a text when it does not read back.
void CustomValue(Writer& writer, const catalogue::OtherProperty& property, std::int64_t utcOffsetSeconds) {
  if (property.type == CustomType::Date) {
    DateValue(writer, property.value, utcOffsetSeconds);
    return;
  }
  if (property.type == CustomType::Number || property.type == CustomType::YesNo) {
    const Result<catalogue::CustomValue> value = catalogue::ParseCustomValue(*property.type, property.value);
    if (value && value->type == CustomType::YesNo) {
      writer.Bool(value->yes);
      return;
    }
    if (value) {
      if (value->whole) {
        writer.Number(static_cast<std::int64_t>(*value->whole));
      } else {
        writer.Number(value->number);
      }
      return;
    }
  }
  writer.String(property.value);
}

void Others(Writer& writer, const std::vector<catalogue::OtherProperty>& others, std::int64_t utcOffsetSeconds) {
  writer.Key("custom").BeginArray();
  for (const catalogue::OtherProperty& property : others) {
    if (!property.custom) continue;
    writer.BeginObject().Key("name").String(property.name).Key("type").String(TypeKey(property)).Key("value");
    CustomValue(writer, property, utcOffsetSeconds);
    writer.EndObject();
  }
  writer.EndArray().Key("other").BeginArray();
  for (const catalogue::OtherProperty& property : others) {
    if (property.custom) continue;
    writer.BeginObject().Key("key").String(property.name);
    writer.Key("label").String(catalogue::OtherPropertyLabel(property.name));
    writer.Key("type").String(TypeKey(property)).Key("value").String(property.value).EndObject();
  }
  writer.EndArray();
}

Outcome AppendObject(ooxml::PackageProperties& packages, const std::string& path, const std::string& fullPath,
                     std::vector<std::string>& lines, bool everyProperty) {
  DocumentFacts facts;
  facts.fullPath = fullPath;
  // The reading puts the file's state back as it does for the CSV export.
  Result<reading::DocumentReading> reading = reading::ReadDocument(packages, path, everyProperty);
  Outcome outcome = reading ? reading->outcome : reading.outcome();
  if (reading) {
    facts.rows = std::move(reading->rows);
    facts.fileTimes = csv::FileTimeTexts(reading->record.times.FileTimes());
    facts.attributes = reading->record.attributes;
    if (everyProperty && facts.rows && reading->others) facts.others = std::move(*reading->others);
    if (everyProperty && facts.rows && !reading->others && outcome) outcome = reading->others.outcome();
  }
  facts.error = outcome.message();
  lines.push_back(DocumentObject(facts, time::CurrentUtcOffsetSeconds()));
  return outcome;
}

}  // namespace

std::string DocumentObject(const DocumentFacts& facts, std::int64_t utcOffsetSeconds) {
  Writer writer;
  writer.BeginObject().Key("path").String(facts.fullPath).Key("name").String(csv::CsvFileName(facts.fullPath));
  if (!facts.error.empty()) writer.Key("error").String(facts.error);
  if (facts.rows) {
    writer.Key("properties").BeginObject();
    for (int row = 0; row < catalogue::kRowCount; ++row) {
      const std::string& text = (*facts.rows)[static_cast<std::size_t>(row)];
      writer.Key(kPropertyKeys[static_cast<std::size_t>(row)]);
      if (IsDateRow(row)) {
        DateValue(writer, text, utcOffsetSeconds);
      } else if (row == catalogue::kRevisionNumber || row == catalogue::kEditingTime) {
        WholeNumberValue(writer, text);
      } else {
        writer.String(text);
      }
    }
    writer.EndObject();
  }
  if (facts.fileTimes) {
    writer.Key("fileTimes").BeginObject();
    const std::array<const char*, 3> keys = {"created", "modified", "accessed"};
    for (std::size_t i = 0; i < keys.size(); ++i) {
      writer.Key(keys[i]);
      DateValue(writer, (*facts.fileTimes)[i], utcOffsetSeconds);
    }
    writer.EndObject().Key("attributes").BeginObject();
    writer.Key("readOnly").Bool((facts.attributes & fs::kAttributeReadOnly) != 0);
    writer.Key("archive").Bool((facts.attributes & fs::kAttributeArchive) != 0);
    writer.Key("hidden").Bool((facts.attributes & fs::kAttributeHidden) != 0);
    writer.Key("system").Bool((facts.attributes & fs::kAttributeSystem) != 0);
    writer.EndObject();
  }
  if (facts.others) Others(writer, *facts.others, utcOffsetSeconds);
  writer.EndObject();
  return writer.Text();
}

Outcome AppendDocumentObject(ooxml::PackageProperties& packages, const std::string& path, const std::string& fullPath,
                             std::vector<std::string>& lines) {
  return AppendObject(packages, path, fullPath, lines, false);
}

Outcome AppendEveryPropertyObject(ooxml::PackageProperties& packages, const std::string& path,
                                  const std::string& fullPath, std::vector<std::string>& lines) {
  return AppendObject(packages, path, fullPath, lines, true);
}

}  // namespace kestrel::json
