// A changed document still opens in LibreOffice with its body intact: the text it converts to
// is the same before and after the change, for packages and binary documents alike, and its
// OpenDocument form lists the custom properties the change added.
#include <gtest/gtest.h>

#include "change/ApplyChange.h"
#include "tests/support/LibreOffice.h"
#include "tests/support/TestSupport.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

const catalogue::PropertyRows& Change() {
  static const auto rows = catalogue::PropertyRows::AllIncluded(
      {"月次報告書（改訂）", "売上の集計", "山田太郎", "報告書, テスト", "説明文です。", "技術資料", "13", "鈴木花子", "佐藤一郎",
       "株式会社テスト", "2021/04/01 9:15:30", "2023/06/15 18:45:10", "95", ""});
  return rows;
}

// Custom properties of three types, which LibreOffice must find after the change.
catalogue::OtherEdits Custom() {
  catalogue::OtherEdits edits;
  edits.custom = {{"案件", *catalogue::ParseCustomValue(catalogue::CustomType::Text, "A-12")},
                  {"件数", *catalogue::ParseCustomValue(catalogue::CustomType::Number, "12")},
                  {"済", *catalogue::ParseCustomValue(catalogue::CustomType::YesNo, "はい")}};
  return edits;
}

TEST(LibreOffice, OpensChangedDocumentsWithTheirBodyIntactAndTheirCustomProperties) {
  if (!test::Soffice()) GTEST_SKIP() << "LibreOffice is not installed";
  const test::ScopedTimeZone tokyo("Asia/Tokyo");
  for (const char* name : {"lo-ja-full.docx", "lo-large-image.docx", "pandoc-ja.docx", "lo-ja-full.doc",
                           "lo-large-image.doc", "poi-ascii-cp1252.doc"}) {
    SCOPED_TRACE(name);
    const test::TempDir dir;
    const auto file = dir.Copy(test::DataFile(name));
    const auto before = test::ConvertToText(file);
    ASSERT_TRUE(before) << "LibreOffice cannot convert the original";
    ooxml::PackageProperties packages;
    const Outcome changed = change::ApplyChange(packages, file.string(), {Change(), {}, {}, Custom()});
    ASSERT_TRUE(changed) << changed.message();
    const auto after = test::ConvertToText(file);
    ASSERT_TRUE(after) << "LibreOffice cannot convert the changed document";
    EXPECT_EQ(*after, *before);
    EXPECT_GT(before->size(), 10u);
    const auto custom = test::ConvertToOpenDocumentUserDefined(file, "odt");
    ASSERT_TRUE(custom) << "LibreOffice cannot convert the changed document to odt";
    for (const char* line : {"案件\tstring\tA-12\n", "件数\tfloat\t12\n", "済\tboolean\ttrue\n"}) {
      EXPECT_NE(custom->find(line), std::string::npos) << line << " in\n" << *custom;
    }
  }
}

}  // namespace
}  // namespace kestrel
