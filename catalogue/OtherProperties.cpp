#include "catalogue/OtherProperties.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "platform/time/DateTimeText.h"
#include "platform/time/LocalDateTime.h"

namespace kestrel::catalogue {

namespace {

// "\"12a\" is not a number": built by appending, which optimised builds do not misread.
Outcome Invalid(std::string_view typed, std::string_view expected) {
  std::string message(1, '"');
  message.append(typed).append("\" is not ").append(expected);
  return Outcome::Failure(FailureKind::InvalidValue, std::move(message));
}

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return lower;
}

Result<CustomValue> ParseNumber(std::string_view typed) {
  const std::string_view text = Trimmed(typed);
  CustomValue value;
  value.type = CustomType::Number;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value.number, std::chars_format::general);
  const bool isNumber = !text.empty() && error == std::errc() && stop == end && std::isfinite(value.number);
  if (!isNumber) return Invalid(typed, "a number");
  const bool whole = value.number == std::floor(value.number) && value.number >= -2147483648.0 && value.number <= 2147483647.0;
  if (whole) value.whole = static_cast<std::int32_t>(value.number);
  return value;
}

Result<CustomValue> ParseDate(std::string_view typed) {
  const std::optional<time::LocalDateTime> local = time::ParseDateTimeText(typed);
  const std::optional<time::FileTime> utc = local ? time::LocalDateTimeToFileTime(*local) : std::nullopt;
  if (!utc) return Invalid(typed, "a date (yyyy/MM/dd H:mm:ss)");
  CustomValue value;
  value.type = CustomType::Date;
  value.utc = *utc - *utc % time::kFileTimeUnitsPerSecond;
  return value;
}

Result<CustomValue> ParseYesNo(std::string_view typed) {
  const std::string text = Lower(Trimmed(typed));
  CustomValue value;
  value.type = CustomType::YesNo;
  if (text == "はい" || text == "yes" || text == "true") {
    value.yes = true;
  } else if (text != "いいえ" && text != "no" && text != "false") {
    return Invalid(typed, "はい or いいえ (yes or no)");
  }
  return value;
}

// Plain digits while they are few; an exponent for the very large and the very small.
std::string NumberText(double number) {
  std::array<char, 32> buffer{};
  auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), number, std::chars_format::fixed);
  if (written.ec != std::errc()) written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), number);
  return std::string(buffer.data(), written.ptr);
}

}  // namespace

std::string StoredNumberText(const CustomValue& value) {
  if (value.whole) return std::to_string(*value.whole);
  std::array<char, 64> buffer{};
  const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value.number);
  return error == std::errc() ? std::string(buffer.data(), end) : std::string();
}

namespace {

struct Label {
  std::string_view key;
  std::string_view label;
};

// The keys are the element names of the package parts; compound files map their ids to them, and
// OpenDocument files their statistics where they mean the same (the others keep their own names).
constexpr std::array<Label, 41> kLabels = {{
    {"Template", "テンプレート"},
    {"HyperlinkBase", "ハイパーリンクの基点"},
    {"Application", "アプリケーション名"},
    {"AppVersion", "アプリケーションのバージョン"},
    {"DocSecurity", "セキュリティ"},
    {"contentStatus", "コンテンツの状態"},
    {"contentType", "コンテンツの種類"},
    {"language", "言語"},
    {"identifier", "識別子"},
    {"version", "バージョン"},
    {"Pages", "ページ数"},
    {"Words", "単語数"},
    {"Characters", "文字数"},
    {"CharactersWithSpaces", "文字数 (スペースを含める)"},
    {"Lines", "行数"},
    {"Paragraphs", "段落数"},
    {"Bytes", "バイト数"},
    {"Slides", "スライド数"},
    {"Notes", "ノート数"},
    {"HiddenSlides", "非表示スライド数"},
    {"MMClips", "マルチメディア クリップ数"},
    {"PresentationFormat", "プレゼンテーション形式"},
    {"ScaleCrop", "縮小して表示"},
    {"LinksUpToDate", "リンクを最新に保つ"},
    {"SharedDoc", "共有ドキュメント"},
    {"HyperlinksChanged", "ハイパーリンクの変更"},
    {"HeadingPairs", "見出しペア"},
    {"TitlesOfParts", "パーツのタイトル"},
    {"DigSig", "デジタル署名"},
    {"Thumbnail", "サムネイル"},
    {"table-count", "表の数"},
    {"image-count", "画像の数"},
    {"object-count", "オブジェクトの数"},
    {"ole-object-count", "OLE オブジェクトの数"},
    {"draw-count", "描画の数"},
    {"frame-count", "フレームの数"},
    {"cell-count", "セルの数"},
    {"row-count", "表の行数"},
    {"sentence-count", "文の数"},
    {"syllable-count", "音節の数"},
    {"printed-by", "前回印刷者"},
}};

}  // namespace

std::string_view CustomTypeName(CustomType type) {
  switch (type) {
    case CustomType::Text: return "テキスト";
    case CustomType::Number: return "数値";
    case CustomType::Date: return "日付";
    case CustomType::YesNo: return "はい/いいえ";
  }
  return {};
}

Result<CustomValue> ParseCustomValue(CustomType type, std::string_view typed) {
  switch (type) {
    case CustomType::Number: return ParseNumber(typed);
    case CustomType::Date: return ParseDate(typed);
    case CustomType::YesNo: return ParseYesNo(typed);
    case CustomType::Text: break;
  }
  CustomValue value;
  value.text = std::string(typed.substr(0, typed.find('\0')));
  return value;
}

std::string CustomValueText(const CustomValue& value) {
  switch (value.type) {
    case CustomType::Number: return value.whole ? std::to_string(*value.whole) : NumberText(value.number);
    case CustomType::Date: {
      const std::optional<time::LocalDateTime> local = time::FileTimeToLocalDateTime(value.utc);
      return local ? time::FormatDateTimeText(*local) : std::string();
    }
    case CustomType::YesNo: return value.yes ? "はい" : "いいえ";
    case CustomType::Text: break;
  }
  return value.text;
}

std::string_view OtherPropertyLabel(std::string_view key) {
  for (const Label& label : kLabels) {
    if (label.key == key) return label.label;
  }
  return key;
}

std::string OtherPropertyTypeText(const OtherProperty& property) {
  return property.type ? std::string(CustomTypeName(*property.type)) : property.otherType;
}

bool SameCustomName(std::string_view a, std::string_view b) { return Lower(a) == Lower(b); }

std::vector<OtherProperty> CustomAfterEdits(const std::vector<OtherProperty>& before, const OtherEdits& edits) {
  std::vector<OtherProperty> after;
  if (!edits.removeAllCustom) {
    std::copy_if(before.begin(), before.end(), std::back_inserter(after), [](const OtherProperty& p) { return p.custom; });
  }
  for (const auto& [name, value] : edits.custom) {
    const auto match = std::find_if(after.begin(), after.end(),
                                    [&name](const OtherProperty& p) { return SameCustomName(p.name, name); });
    if (!value) {
      if (match != after.end()) after.erase(match);
      continue;
    }
    OtherProperty property{true, match != after.end() ? match->name : name, {}, value->type, CustomValueText(*value)};
    if (match != after.end()) {
      *match = std::move(property);
    } else {
      after.push_back(std::move(property));
    }
  }
  return after;
}

}  // namespace kestrel::catalogue
