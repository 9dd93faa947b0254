#pragma once
// The values of a property list at the moment a service is called: 14 value texts in catalogue
// order and, for the batch tab, which rows take part. The single tab includes every row.
// Value and Included throw std::out_of_range for a row outside 0 to 13; nothing else here throws.

#include <array>
#include <string>

#include "catalogue/PropertyCatalogue.h"

namespace kestrel::catalogue {

struct PropertyRows {
  std::array<std::string, kRowCount> values{};
  std::array<bool, kRowCount> included{};

  const std::string& Value(int row) const { return values.at(static_cast<std::size_t>(row)); }
  bool Included(int row) const { return included.at(static_cast<std::size_t>(row)); }

  static PropertyRows AllIncluded(std::array<std::string, kRowCount> texts) {
    PropertyRows rows;
    rows.values = std::move(texts);
    rows.included.fill(true);
    return rows;
  }
};

}  // namespace kestrel::catalogue
