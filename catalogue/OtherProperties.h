#pragma once
// What a document stores beyond the 14 rows: its custom (user-defined) properties and the other
// properties of its sets or parts, as the single tab's third list and `show --all` give them; and
// the edits of custom properties and the removals that a change may carry beside its rows.
// Nothing here throws except std::bad_alloc.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Outcome.h"
#include "platform/time/FileTime.h"

namespace kestrel::catalogue {

// The types a custom property is edited as; a property of any other type is shown read-only.
enum class CustomType { Text, Number, Date, YesNo };

// "テキスト", "数値", "日付", "はい/いいえ".
std::string_view CustomTypeName(CustomType type);

// A custom property's value. A number is stored as a 32-bit integer when it is whole and fits,
// otherwise as a double; a date in UTC.
struct CustomValue {
  CustomType type = CustomType::Text;
  std::string text;                   // Text
  std::optional<std::int32_t> whole;  // Number: set when it is stored as an integer
  double number = 0;                  // Number: the value either way
  time::FileTime utc = 0;             // Date
  bool yes = false;                   // YesNo

  friend bool operator==(const CustomValue&, const CustomValue&) = default;
};

// What the user typed, as a value of `type`: a number in decimal ("12", "-3.5", "1e-40"); a date as the
// window shows dates (local "yyyy/MM/dd H:mm:ss", the time optional); yes/no as はい or いいえ,
// yes or no, true or false. InvalidValue, saying what was expected, for anything else.
Result<CustomValue> ParseCustomValue(CustomType type, std::string_view typed);

// The text a number is stored as in a part: its integer when it is whole, else the shortest
// digits that read back as the same double.
std::string StoredNumberText(const CustomValue& value);

// The text a value is shown as, which ParseCustomValue reads back as the same value (a date to
// the second).
std::string CustomValueText(const CustomValue& value);

// One stored property beyond the 14 rows.
struct OtherProperty {
  bool custom = false;
  // A custom property's name as stored; for the others the key that names them whatever the
  // format (OtherPropertyLabel): "Template", "HyperlinkBase", "contentStatus", ...
  std::string name;
  // The stored type when it is none of the editable ones ("VT_BLOB", "vt:vector"); empty otherwise.
  std::string otherType;
  std::optional<CustomType> type;  // set when the value is of an editable type
  std::string value;               // as shown: CustomValueText for editable types

  friend bool operator==(const OtherProperty&, const OtherProperty&) = default;
};

// The Japanese name the window shows for a key of the non-custom properties ("Template" ->
// "テンプレート"); the key itself for a key it does not know.
std::string_view OtherPropertyLabel(std::string_view key);

// The type column's text: CustomTypeName, or the stored type for the others.
std::string OtherPropertyTypeText(const OtherProperty& property);

// Whether two custom property names are the same property: equal ignoring ASCII case, as Office
// matches them.
bool SameCustomName(std::string_view a, std::string_view b);

// Edits beside the rows, applied in this order: every custom property removed (when asked), then
// each custom edit in turn (a value sets the property, adding it when absent and replacing its
// type and value when present; nullopt removes it, and removing an absent one is no change), then
// the template and the hyperlink base removed.
struct OtherEdits {
  bool removeAllCustom = false;
  std::vector<std::pair<std::string, std::optional<CustomValue>>> custom;
  bool removeTemplate = false;
  bool removeHyperlinkBase = false;

  bool Empty() const { return !removeAllCustom && custom.empty() && !removeTemplate && !removeHyperlinkBase; }
};

// The custom properties as they are after `edits`, from `before` (the custom ones of a
// document's OtherProperties, in stored order): kept ones stay in place, new ones are appended.
// What a document's plan must read back. Properties of a type that is not editable stay as they
// were unless removed.
std::vector<OtherProperty> CustomAfterEdits(const std::vector<OtherProperty>& before, const OtherEdits& edits);

}  // namespace kestrel::catalogue
