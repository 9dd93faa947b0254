#include "catalogue/PropertyCatalogue.h"

namespace kestrel::catalogue {

namespace {
constexpr std::array<std::string_view, kRowCount> kCaptions = {
    "タイトル", "表題",     "作成者",   "キーワード", "コメント",   "カテゴリー", "改訂番号",
    "前回保存者", "管理者", "会社名",   "作成日時",   "前回保存日時", "編集時間", "前回印刷日時",
};
constexpr std::array<std::int32_t, kRowCount> kPropertyIds = {2, 3, 4, 5, 6, 2, 9, 8, 14, 15, 12, 13, 10, 11};
constexpr std::array<std::string_view, kLabelCount> kLabels = {
    "Creation Time", "Modify Time", "Last Access Time", "Read-only", "Archive", "Hidden", "System",
};
}  // namespace

PropertyCatalogue::PropertyCatalogue() {
  for (auto& row : rows_) {
    row.propertySet = PropertySetKind::SummaryInformation;
    row.valueType = kVtLpstr;
  }
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    rows_[i].caption = kCaptions[i];
    rows_[i].propertyId = kPropertyIds[i];
  }
  for (int row : {kCategory, kManager, kCompany}) {
    rows_[static_cast<std::size_t>(row)].propertySet = PropertySetKind::DocumentSummaryInformation;
  }
  for (int row = kCreated; row <= kLastPrinted; ++row) {
    rows_[static_cast<std::size_t>(row)].valueType = kVtFiletime;
  }
  labels_ = kLabels;
}

const PropertyCatalogue& Catalogue() {
  static const PropertyCatalogue catalogue;
  return catalogue;
}

}  // namespace kestrel::catalogue
