// A changed document still opens in LibreOffice with its body intact: the text it converts to
// is the same before and after the change, for packages and binary documents alike.
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

TEST(LibreOffice, OpensChangedDocumentsWithTheirBodyIntact) {
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
    const Outcome changed = change::ApplyChange(packages, file.string(), {Change(), {}, {}, {}});
    ASSERT_TRUE(changed) << changed.message();
    const auto after = test::ConvertToText(file);
    ASSERT_TRUE(after) << "LibreOffice cannot convert the changed document";
    EXPECT_EQ(*after, *before);
    EXPECT_GT(before->size(), 10u);
  }
}

}  // namespace
}  // namespace kestrel
