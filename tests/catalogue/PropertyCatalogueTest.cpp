#include "catalogue/PropertyCatalogue.h"

#include <gtest/gtest.h>

namespace kestrel::catalogue {
namespace {

// The table every list, reader, writer and export takes its rows from; a wrong id or set here
// would silently write the wrong property of every document.
TEST(PropertyCatalogue, HoldsTheFourteenRowsInOrder) {
  struct Expected {
    const char* caption;
    int set;
    int id;
    int type;
  };
  const Expected expected[kRowCount] = {
      {"タイトル", 1, 2, 30},    {"表題", 1, 3, 30},         {"作成者", 1, 4, 30},   {"キーワード", 1, 5, 30},
      {"コメント", 1, 6, 30},    {"カテゴリー", 2, 2, 30},   {"改訂番号", 1, 9, 30}, {"前回保存者", 1, 8, 30},
      {"管理者", 2, 14, 30},     {"会社名", 2, 15, 30},      {"作成日時", 1, 12, 64}, {"前回保存日時", 1, 13, 64},
      {"編集時間", 1, 10, 64},   {"前回印刷日時", 1, 11, 64},
  };
  const PropertyCatalogue catalogue;
  for (int row = 0; row < kRowCount; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(catalogue.Row(row).caption, expected[row].caption);
    EXPECT_EQ(static_cast<int>(catalogue.Row(row).propertySet), expected[row].set);
    EXPECT_EQ(catalogue.Row(row).propertyId, expected[row].id);
    EXPECT_EQ(catalogue.Row(row).valueType, expected[row].type);
  }
  EXPECT_THROW(catalogue.Row(kRowCount), std::out_of_range);
}

TEST(PropertyCatalogue, LabelsTitleTheTimesAndAttributes) {
  const char* expected[kLabelCount] = {"Creation Time", "Modify Time", "Last Access Time", "Read-only",
                                       "Archive",       "Hidden",      "System"};
  for (int i = 0; i < kLabelCount; ++i) EXPECT_EQ(Catalogue().Label(i), expected[i]);
}

}  // namespace
}  // namespace kestrel::catalogue
