#pragma once
// One document as a JSON object on one line: what `show --json` prints instead of its CSV line.
// The values are typed (numbers, booleans, ISO 8601 dates, null for what is empty) under stable
// ASCII keys, so that scripts need neither the Japanese captions nor the program's date form.
// Nothing here throws except std::bad_alloc.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/OtherProperties.h"
#include "catalogue/PropertyDocument.h"
#include "ooxml/PackageProperties.h"
#include "platform/Outcome.h"

namespace kestrel::json {

// The keys of the 14 properties, in catalogue order.
extern const std::array<const char*, catalogue::kRowCount> kPropertyKeys;

// What was read of one document, as the CSV export shows it.
struct DocumentFacts {
  std::string fullPath;
  std::optional<catalogue::PropertyTexts> rows;  // nullopt: not read
  // The file's times as csv::FileTimeTexts gives them and its attribute word; nullopt: not read.
  std::optional<std::array<std::string, 3>> fileTimes;
  std::uint32_t attributes = 0;
  // With every property: the custom and other properties; nullopt when not asked for or not read.
  std::optional<std::vector<catalogue::OtherProperty>> others;
  std::string error;  // why the document was not read in full; empty when it was
};

// The object: "path", "name", "error" when there is one, then "properties", "fileTimes",
// "attributes", "custom" and "other" for what was read. Dates shown as local times are given the
// offset `utcOffsetSeconds`; a date text that is not one stays a string.
std::string DocumentObject(const DocumentFacts& facts, std::int64_t utcOffsetSeconds);

// Append the document's object to `lines`, as csv::AppendDocumentLine and csv::AppendPropertyListing
// read it (the second with its custom and other properties), dates in the UTC offset in force now:
// the one the program turns UTC into local time with. Every document gets its object; the outcome
// says why one was not read in full, as its "error" does.
Outcome AppendDocumentObject(ooxml::PackageProperties& packages, const std::string& path, const std::string& fullPath,
                             std::vector<std::string>& lines);
Outcome AppendEveryPropertyObject(ooxml::PackageProperties& packages, const std::string& path,
                                  const std::string& fullPath, std::vector<std::string>& lines);

}  // namespace kestrel::json
