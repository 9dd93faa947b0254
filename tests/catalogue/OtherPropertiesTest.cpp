#include "catalogue/OtherProperties.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace kestrel::catalogue {
namespace {

// What a user types becomes the value the document stores, and shows again as what was typed
// (or its plain form); what cannot be stored is refused with a reason.
TEST(CustomValue, TypedTextIsStoredAndShownAgain) {
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  struct Case {
    CustomType type;
    const char* typed;
    const char* shown;  // nullptr: refused
  } cases[] = {
      {CustomType::Text, "案件 A-12", "案件 A-12"},
      {CustomType::Number, " 42 ", "42"},
      {CustomType::Number, "-3.5", "-3.5"},
      {CustomType::Number, "3000000000", "3000000000"},
      {CustomType::Number, "1e-40", "1e-40"},
      {CustomType::Number, "12a", nullptr},
      {CustomType::Number, "", nullptr},
      {CustomType::Date, "2015/04/02", "2015/04/02"},
      {CustomType::Date, "2015/04/02 9:30:15", "2015/04/02 9:30:15"},
      {CustomType::Date, "2015/13/02", nullptr},
      {CustomType::YesNo, "はい", "はい"},
      {CustomType::YesNo, "No", "いいえ"},
      {CustomType::YesNo, "maybe", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    const Result<CustomValue> value = ParseCustomValue(c.type, c.typed);
    ASSERT_EQ(value.ok(), c.shown != nullptr) << value.outcome().message();
    if (!value) {
      EXPECT_EQ(value.outcome().kind(), FailureKind::InvalidValue);
      continue;
    }
    EXPECT_EQ(CustomValueText(*value), c.shown);
    EXPECT_EQ(*ParseCustomValue(c.type, CustomValueText(*value)), *value);
  }
  // 2015/04/02 0:00 in Tokyo is 2015/04/01 15:00 UTC.
  EXPECT_EQ(ParseCustomValue(CustomType::Date, "2015/04/02")->utc, 130723740000000000ULL);
  EXPECT_FALSE(ParseCustomValue(CustomType::Number, "-3.5")->whole);
  EXPECT_EQ(ParseCustomValue(CustomType::Number, "-7")->whole, -7);
}

// The custom list a change must leave: removals first when asked, edits in order, names matched
// ignoring case and keeping their stored spelling, a property of another type kept unless removed.
TEST(CustomAfterEdits, AppliesTheEditsInOrder) {
  const auto text = [](const char* value) { return *ParseCustomValue(CustomType::Text, value); };
  const std::vector<OtherProperty> before = {
      {true, "Project", "", CustomType::Text, "A"},
      {true, "Blob", "VT_BLOB", std::nullopt, "4 bytes"},
      {false, "Template", "VT_LPSTR", std::nullopt, "Normal.dotm"},
  };
  OtherEdits edits;
  edits.custom = {{"PROJECT", text("B")}, {"New", text("N")}, {"absent", std::nullopt}};
  EXPECT_EQ(CustomAfterEdits(before, edits),
            (std::vector<OtherProperty>{{true, "Project", "", CustomType::Text, "B"},
                                        {true, "Blob", "VT_BLOB", std::nullopt, "4 bytes"},
                                        {true, "New", "", CustomType::Text, "N"}}));
  edits.custom = {{"blob", std::nullopt}};
  EXPECT_EQ(CustomAfterEdits(before, edits), (std::vector<OtherProperty>{before[0]}));
  edits.removeAllCustom = true;
  edits.custom = {{"Kept", text("K")}};
  EXPECT_EQ(CustomAfterEdits(before, edits), (std::vector<OtherProperty>{{true, "Kept", "", CustomType::Text, "K"}}));
}

}  // namespace
}  // namespace kestrel::catalogue
