#include "ooxml/OoxmlProperties.h"

#include <vector>

#include "ooxml/FindPropertyParts.h"
#include "ooxml/OoxmlDates.h"
#include "platform/text/Blanks.h"

namespace kestrel::ooxml {

namespace {

using catalogue::Row;

struct ElementRow {
  const char* name;
  int row;
};

// In the order they are looked up and written.
constexpr ElementRow kExtendedElements[] = {{"Manager", Row::kManager}, {"Company", Row::kCompany},
                                            {"TotalTime", Row::kEditingTime}};
constexpr ElementRow kCoreElements[] = {
    {"dc:title", Row::kTitle},           {"dc:subject", Row::kSubject},
    {"dc:creator", Row::kAuthor},        {"cp:keywords", Row::kKeywords},
    {"dc:description", Row::kComments},  {"cp:lastModifiedBy", Row::kLastSavedBy},
    {"cp:revision", Row::kRevisionNumber}, {"dcterms:created", Row::kCreated},
    {"dcterms:modified", Row::kLastSaved}, {"cp:category", Row::kCategory},
    {"cp:lastPrinted", Row::kLastPrinted},
};

std::optional<xml::XmlNode> FirstChildNamed(const xml::XmlDocument& axml, std::string_view name) {
  for (const xml::XmlNode& child : axml.DocumentElement().Children()) {
    if (child.Name() == name) return child;
  }
  return std::nullopt;
}

std::string ElementText(const xml::XmlDocument& axml, std::string_view name) {
  const auto element = FirstChildNamed(axml, name);
  return element ? element->Text() : std::string();
}

// Loads a part into axml; false when the package does not hold it or holds it empty.
bool LoadPart(zip::TPackageZip& myzip, xml::XmlDocument& axml, const std::string& part) {
  std::vector<std::uint8_t> stream;
  myzip.ExtractToMemory(&stream, part);
  if (stream.empty()) return false;
  axml.Reset();
  axml.Load(stream);
  return true;
}

void StorePart(zip::TPackageZip& myzip, const xml::XmlDocument& axml, const std::string& part) {
  const std::vector<std::uint8_t> stream = axml.Save();
  myzip.ReplaceFromMemory(&stream, part);
}

// The text written for a row: dates go to the stored UTC form.
std::string StoredValue(const catalogue::PropertyRows& rows, int row) {
  switch (row) {
    case Row::kCreated:
    case Row::kLastSaved:
      return LocalTextToUtcIso(rows.Value(row));
    case Row::kLastPrinted: {
      const std::string_view trimmed = text::TrimSpaceAndControls(rows.Value(row));
      return trimmed.empty() ? std::string() : LocalTextToUtcIso(trimmed);
    }
    default:
      return rows.Value(row);
  }
}

}  // namespace

std::optional<std::array<std::string, catalogue::kRowCount>> ReadOoxmlProperties(zip::TPackageZip& myzip,
                                                                                 xml::XmlDocument& axml,
                                                                                 const std::string& path) {
  const auto parts = FindPropertyParts(myzip, axml, path);
  if (!parts) return std::nullopt;
  std::array<std::string, catalogue::kRowCount> texts;
  if (!LoadPart(myzip, axml, parts->extendedPart)) return std::nullopt;
  for (const auto& [name, row] : kExtendedElements) texts[static_cast<std::size_t>(row)] = ElementText(axml, name);
  axml.Reset();
  if (!LoadPart(myzip, axml, parts->corePart)) return std::nullopt;
  for (const auto& [name, row] : kCoreElements) texts[static_cast<std::size_t>(row)] = ElementText(axml, name);
  axml.Reset();
  for (int row : {Row::kCreated, Row::kLastSaved, Row::kLastPrinted}) {
    auto& text = texts[static_cast<std::size_t>(row)];
    text = UtcIsoToLocalText(text);
  }
  return texts;
}

bool WriteOoxmlProperties(zip::TPackageZip& myzip, xml::XmlDocument& axml, const std::string& path,
                          const catalogue::PropertyRows& rows) {
  const auto parts = FindPropertyParts(myzip, axml, path);
  if (!parts || !LoadPart(myzip, axml, parts->extendedPart)) return false;
  for (const auto& [name, row] : kExtendedElements) {
    if (rows.Included(row)) UpdatePropertyElement(axml, name, StoredValue(rows, row));
  }
  StorePart(myzip, axml, parts->extendedPart);
  if (!LoadPart(myzip, axml, parts->corePart)) return false;
  for (const auto& [name, row] : kCoreElements) {
    if (rows.Included(row)) UpdatePropertyElement(axml, name, StoredValue(rows, row));
  }
  StorePart(myzip, axml, parts->corePart);
  axml.Reset();
  return true;
}

void UpdatePropertyElement(xml::XmlDocument& axml, std::string_view name, const std::string& value) {
  if (value.empty() && (name == "cp:lastPrinted" || name == "TotalTime")) {
    axml.RemoveChild(name);
    return;
  }
  if (auto element = FirstChildNamed(axml, name)) {
    element->SetText(value);
    return;
  }
  // A name whose prefix the part does not bind cannot be added; it is left out.
  if (auto added = axml.AddChild(name)) added->SetText(value);
}

}  // namespace kestrel::ooxml
