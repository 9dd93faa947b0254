#include "worddoc/BinaryOtherProperties.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <set>

#include "platform/fs/FileIo.h"
#include "tests/support/Oracles.h"
#include "tests/support/TestSupport.h"
#include "worddoc/BinaryChange.h"
#include "worddoc/BinaryDocument.h"

namespace kestrel::worddoc {
namespace {

namespace fs = std::filesystem;
namespace kfs = kestrel::fs;
using catalogue::CustomType;
using catalogue::CustomValue;
using catalogue::OtherProperty;

Result<std::vector<OtherProperty>> Others(const fs::path& file) {
  BinaryDocument document(kfs::OpenForReading(file.string()), file.string(), kfs::FileRecord{});
  return document.OtherProperties();
}

std::optional<fs::path> Corpus(std::optional<fs::path> dir, const char* name) {
  return dir ? std::optional(*dir / "docs" / name) : std::nullopt;
}

OtherProperty Find(const std::vector<OtherProperty>& others, const std::string& name) {
  auto it = std::find_if(others.begin(), others.end(), [&](const OtherProperty& p) { return p.name == name; });
  return it != others.end() ? *it : OtherProperty{false, "(absent) " + name, {}, {}, {}};
}

TEST(BinaryOtherProperties, CorpusDocumentsListTheirCustomAndOtherProperties) {
  test::ScopedTimeZone tokyo("Asia/Tokyo");
  struct Case {
    std::optional<fs::path> file;
    std::vector<OtherProperty> expected;  // found among the document's, in this order
  };
  const auto office = test::OfficeCorpusDir();
  const auto publicDir = test::PublicCorpusDir();
  const auto custom = [](const char* name, CustomType type, const char* value) {
    return OtherProperty{true, name, {}, type, value};
  };
  const auto other = [](const char* key, const char* type, const char* value) { return OtherProperty{false, key, type, {}, value}; };
  const std::vector<Case> cases = {
      {test::DataFile("lo-ascii-full.doc"), {custom("Company", CustomType::Text, "Example Corp")}},
      {Corpus(publicDir, "64132.doc"),
       {other("Template", "VT_LPSTR", "Normal"), other("Application", "VT_LPSTR", "Microsoft Word 10.0"),
        other("AppVersion", "VT_I4", "10.2625"), other("ScaleCrop", "VT_BOOL", "いいえ"),
        other("HeadingPairs", "VT_VECTOR|VT_VARIANT", "Título, 1"), other("_PID_HLINKS", "VT_BLOB", "88 バイト")}},
      {Corpus(office, "numbers.ppt"),
       {custom("Version", CustomType::Number, "1"), other("Thumbnail", "VT_CF", "12468 バイト"),
        other("AppVersion", "VT_I4", "14.0000"), other("Slides", "VT_I4", "2")}},
      {Corpus(office, "37684-2.xls"), {custom("OI$ORIGINAL_DOC_ID", CustomType::Text, "1697")}},
      {Corpus(office, "28772.xls"),
       {custom("_AdHocReviewCycleID", CustomType::Number, "761293791"), other("PID 2147483648", "VT_UI4", "1033")}},
  };
  for (const Case& c : cases) {
    if (!c.file) {
      std::cout << "[  SKIPPED ] a corpus is not beside the checkout\n";
      continue;
    }
    const Result<std::vector<OtherProperty>> others = Others(*c.file);
    ASSERT_TRUE(others) << *c.file << ": " << others.outcome().message();
    // Custom ones first.
    EXPECT_TRUE(std::is_partitioned(others->begin(), others->end(), [](const OtherProperty& p) { return p.custom; }));
    for (const OtherProperty& expected : c.expected) EXPECT_EQ(Find(*others, expected.name), expected) << *c.file;
  }
}

}  // namespace
}  // namespace kestrel::worddoc
