#include "export/JsonDocumentLine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "export/JsonText.h"
#include "platform/fs/FileState.h"

namespace kestrel::json {
namespace {

using ::testing::HasSubstr;
constexpr std::int64_t kTokyo = 9 * 3600;
const std::string kBad = "\xEF\xBF\xBD";  // U+FFFD

TEST(JsonString, EscapesWhatJsonRequiresAndReplacesEachByteThatIsNoUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"say \"hi\" \\ bye", "\"say \\\"hi\\\" \\\\ bye\""},
      {"a\nb\r\tc", "\"a\\nb\\r\\tc\""},
      {std::string("\x01\x1F\x7F\0", 4), "\"\\u0001\\u001f\x7F\\u0000\""},
      {"日本 😀", "\"日本 😀\""},
      {"a\xFF" "b", "\"a" + kBad + "b\""},
      {"\xE6\x97", "\"" + kBad + kBad + "\""},                  // cut short
      {"\xC0\xAF", "\"" + kBad + kBad + "\""},                  // overlong
      {"\xED\xA0\x80", "\"" + kBad + kBad + kBad + "\""},       // a surrogate
      {"\xF4\x90\x80\x80", "\"" + kBad + kBad + kBad + kBad + "\""},  // above U+10FFFF
  };
  for (const auto& [text, json] : cases) {
    std::string out;
    AppendString(out, text);
    EXPECT_EQ(out, json) << text;
  }
  Writer writer;
  writer.BeginArray().Number(std::int64_t{-3}).Number(0.1).Number(std::nan("")).BeginObject().EndObject().EndArray();
  EXPECT_EQ(writer.Text(), "[-3, 0.1, null, {}]");
}

TEST(JsonDate, IsIso8601WithTheOffsetAndEmptyOutsideTheCalendar) {
  EXPECT_EQ(IsoDateTime(44287.385763888889, kTokyo), "2021-04-01T09:15:30+09:00");
  EXPECT_EQ(IsoDateTime(2.5, -(3 * 3600 + 1800)), "1900-01-01T12:00:00-03:30");
  EXPECT_EQ(IsoDateTime(-693593.0, 0), "0001-01-01T00:00:00+00:00");
  EXPECT_EQ(IsoDateTime(3e6, kTokyo), "");
}

DocumentFacts ReadFacts() {
  DocumentFacts facts;
  facts.fullPath = "/d/報告.docx";
  facts.rows = catalogue::PropertyTexts{"T", "", "a\"b", "", "x\ny", "", "12", "", "", "", "2021/04/01 9:15:30",
                                        "2023/06/16", "", ""};
  facts.fileTimes = std::array<std::string, 3>{"2024/01/02 3:04:05", "", "not a date"};
  facts.attributes = fs::kAttributeReadOnly | fs::kAttributeSystem;
  return facts;
}

TEST(JsonDocument, IsOneObjectWithTypedValuesUnderStableKeys) {
  EXPECT_EQ(DocumentObject(ReadFacts(), kTokyo),
            "{\"path\": \"/d/報告.docx\", \"name\": \"報告.docx\", \"properties\": {\"title\": \"T\", \"subject\": \"\", "
            "\"author\": \"a\\\"b\", \"keywords\": \"\", \"comments\": \"x\\ny\", \"category\": \"\", \"revision\": 12, "
            "\"lastSavedBy\": \"\", \"manager\": \"\", \"company\": \"\", \"created\": \"2021-04-01T09:15:30+09:00\", "
            "\"lastSaved\": \"2023-06-16T00:00:00+09:00\", \"editingMinutes\": null, \"lastPrinted\": null}, "
            "\"fileTimes\": {\"created\": \"2024-01-02T03:04:05+09:00\", \"modified\": null, \"accessed\": \"not a date\"}, "
            "\"attributes\": {\"readOnly\": true, \"archive\": false, \"hidden\": false, \"system\": true}}");
}

TEST(JsonDocument, RevisionAndEditingMinutesAreNumbersOnlyWhenWhole) {
  const std::pair<std::string, std::string> cases[] = {{"-7", "-7"},         {"1.5", "\"1.5\""}, {" 3", "\" 3\""},
                                                       {"+3", "\"+3\""},      {"v2", "\"v2\""},
                                                       {"99999999999999999999", "\"99999999999999999999\""}};
  for (const auto& [text, json] : cases) {
    DocumentFacts facts = ReadFacts();
    (*facts.rows)[catalogue::kRevisionNumber] = (*facts.rows)[catalogue::kEditingTime] = text;
    const std::string object = DocumentObject(facts, kTokyo);
    EXPECT_THAT(object, HasSubstr("\"revision\": " + json + ",")) << text;
    EXPECT_THAT(object, HasSubstr("\"editingMinutes\": " + json + ",")) << text;
  }
}

TEST(JsonDocument, CustomValuesAreTypedAndOtherValuesStayTexts) {
  using catalogue::CustomType;
  DocumentFacts facts;
  facts.fullPath = "p.doc";
  facts.others = std::vector<catalogue::OtherProperty>{
      {true, "n", "", CustomType::Number, "42"},   {true, "f", "", CustomType::Number, "-0.25"},
      {true, "d", "", CustomType::Date, "2021/04/01 9:15:30"}, {true, "y", "", CustomType::YesNo, "はい"},
      {true, "t", "", CustomType::Text, "12"},     {true, "b", "VT_BLOB", std::nullopt, "\x01"},
      {false, "Pages", "", CustomType::Number, "3"}};
  EXPECT_EQ(DocumentObject(facts, kTokyo),
            "{\"path\": \"p.doc\", \"name\": \"p.doc\", \"custom\": [{\"name\": \"n\", \"type\": \"number\", \"value\": 42}, "
            "{\"name\": \"f\", \"type\": \"number\", \"value\": -0.25}, "
            "{\"name\": \"d\", \"type\": \"date\", \"value\": \"2021-04-01T09:15:30+09:00\"}, "
            "{\"name\": \"y\", \"type\": \"yesNo\", \"value\": true}, {\"name\": \"t\", \"type\": \"text\", \"value\": \"12\"}, "
            "{\"name\": \"b\", \"type\": \"VT_BLOB\", \"value\": \"\\u0001\"}], "
            "\"other\": [{\"key\": \"Pages\", \"label\": \"ページ数\", \"type\": \"number\", \"value\": \"3\"}]}");
}

TEST(JsonDocument, ADocumentNotReadInFullSaysWhyBesideWhatWasRead) {
  DocumentFacts package = ReadFacts();
  package.rows.reset();
  package.error = "cannot be read as a package: \xFF";
  EXPECT_THAT(DocumentObject(package, kTokyo),
              HasSubstr("\"name\": \"報告.docx\", \"error\": \"cannot be read as a package: " + kBad + "\", \"fileTimes\": {"));
}

}  // namespace
}  // namespace kestrel::json
