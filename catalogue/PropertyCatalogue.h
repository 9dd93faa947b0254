#pragma once
// The fixed table of the 14 document properties the program shows, edits, writes and exports.
// Row numbers 0 to 13 are the item indexes of both property lists and the CSV column order.
// Row and Label throw std::out_of_range for a number outside the table; nothing else here throws.

#include <array>
#include <cstdint>
#include <string_view>

namespace kestrel::catalogue {

// Which OLE property set holds a row in a binary document.
enum class PropertySetKind : std::int32_t {
  SummaryInformation = 1,
  DocumentSummaryInformation = 2,
  MediaFileSummaryInformation = 3,
};

// OLE variant types the catalogue reads and writes with.
inline constexpr std::int32_t kVtLpstr = 30;
inline constexpr std::int32_t kVtFiletime = 64;

struct CatalogueRow {
  std::string_view caption;
  PropertySetKind propertySet;
  std::int32_t propertyId;
  std::int32_t valueType;
};

inline constexpr int kRowCount = 14;
inline constexpr int kLabelCount = 7;

// Rows that later code names by number.
inline constexpr int kTitle = 0;
inline constexpr int kSubject = 1;
inline constexpr int kAuthor = 2;
inline constexpr int kKeywords = 3;
inline constexpr int kComments = 4;
inline constexpr int kCategory = 5;
inline constexpr int kRevisionNumber = 6;
inline constexpr int kLastSavedBy = 7;
inline constexpr int kManager = 8;
inline constexpr int kCompany = 9;
inline constexpr int kCreated = 10;
inline constexpr int kLastSaved = 11;
inline constexpr int kEditingTime = 12;
inline constexpr int kLastPrinted = 13;

// Filled once, in the order the main window builds it; nothing changes it afterwards.
class PropertyCatalogue {
 public:
  PropertyCatalogue();

  const CatalogueRow& Row(int row) const { return rows_.at(static_cast<std::size_t>(row)); }
  std::string_view Label(int index) const { return labels_.at(static_cast<std::size_t>(index)); }
  const std::array<CatalogueRow, kRowCount>& Rows() const { return rows_; }

 private:
  std::array<CatalogueRow, kRowCount> rows_{};
  std::array<std::string_view, kLabelCount> labels_{};
};

// The one catalogue of the process, for services that have no window to ask.
const PropertyCatalogue& Catalogue();

}  // namespace kestrel::catalogue
