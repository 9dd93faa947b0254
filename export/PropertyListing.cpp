#include "export/PropertyListing.h"

#include <string_view>

#include "catalogue/OtherProperties.h"
#include "catalogue/PropertyCatalogue.h"
#include "export/CsvLines.h"
#include "reading/DocumentReading.h"

namespace kestrel::csv {
namespace {

std::string Line(std::string_view fullPath, std::string_view group, std::string_view name, std::string_view type,
                 std::string_view value) {
  std::string line;
  AppendField(line, fullPath, false);
  AppendField(line, group, false);
  AppendField(line, name, false);
  AppendField(line, type, false);
  AppendField(line, value, true);
  return line;
}

}  // namespace

std::string PropertyListingHeaderLine() { return Line("フルパス", "区分", "名前", "種類", "値"); }

Outcome AppendPropertyListing(ooxml::PackageProperties& packages, const std::string& path, const std::string& fullPath,
                              std::vector<std::string>& lines) {
  const Result<reading::DocumentReading> reading = reading::ReadDocument(packages, path, true);
  if (!reading) return reading.outcome();
  if (!reading->rows) return reading->outcome;
  static const catalogue::PropertyCatalogue catalogue;
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    lines.push_back(Line(fullPath, "概要", catalogue.Row(row).caption, "", (*reading->rows)[static_cast<std::size_t>(row)]));
  }
  if (!reading->others) return reading->others.outcome();
  for (const catalogue::OtherProperty& property : *reading->others) {
    const std::string_view name = property.custom ? std::string_view(property.name) : catalogue::OtherPropertyLabel(property.name);
    lines.push_back(Line(fullPath, property.custom ? "ユーザー設定" : "その他", name, catalogue::OtherPropertyTypeText(property),
                         property.value));
  }
  return reading->outcome;
}

}  // namespace kestrel::csv
