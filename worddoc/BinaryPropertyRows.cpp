#include "worddoc/BinaryPropertyRows.h"

#include <map>
#include <optional>

#include "catalogue/DocumentKind.h"
#include "worddoc/BinaryDocument.h"
#include "platform/storage/PropertySetStorage.h"
#include "worddoc/DopStatistics.h"
#include "worddoc/PropertyText.h"
#include "worddoc/WordFib.h"

namespace kestrel::worddoc {

catalogue::DocumentRows ReadBinaryPropertyRows(const storage::CompoundFile* file, Outcome why, const std::string& path) {
  catalogue::DocumentRows read{catalogue::PropertyTexts{}, std::move(why)};
  catalogue::PropertyTexts& texts = *read.texts;
  if (catalogue::ApplicationOf(path) == catalogue::Application::Word) {
    texts[catalogue::kEditingTime].assign(1, '0');  // (GCC 12 warns falsely on assigning a literal here)
  }
  if (file == nullptr) return read;
  try {
    const bool word = HasWordDocumentStream(*file);
    // Each set is parsed once for all its rows.
    std::map<catalogue::PropertySetKind, Result<std::optional<storage::PropertySetStream>>> sets;
    const auto& rows = catalogue::Catalogue().Rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const bool editingTime = static_cast<int>(i) == catalogue::kEditingTime;
      if (editingTime && word) continue;
      const auto fmtid = FmtidOf(rows[i].propertySet);
      const auto pid = static_cast<std::uint32_t>(rows[i].propertyId);
      auto found = sets.find(rows[i].propertySet);
      if (found == sets.end()) {
        found = sets.emplace(rows[i].propertySet, storage::ReadPropertySet(*file, fmtid)).first;
        if (!found->second && read.outcome) read.outcome = found->second.outcome();
      }
      const auto& set = found->second;
      const auto value = set && *set ? (*set)->Read(fmtid, pid) : std::nullopt;
      texts[i] = !value ? std::string() : editingTime ? EditingMinutesText(*value) : FormatPropertyValue(*value);
    }
    if (word) texts[catalogue::kEditingTime] = std::to_string(ReadEditingMinutes(*file));
  } catch (const std::bad_alloc&) {
    // Whatever was read stays; the rest is empty, as for any unreadable part.
    read.outcome = Outcome::Failure(FailureKind::Io, "not enough memory to read it");
  }
  return read;
}

catalogue::PropertyTexts ReadBinaryPropertyRows(const std::string& path, Outcome* unreadable) {
  BinaryDocument document(fs::OpenForReading(path), path, fs::FileRecord{});
  catalogue::DocumentRows read = document.Rows();
  if (unreadable != nullptr) *unreadable = read.outcome;
  return std::move(*read.texts);
}

}  // namespace kestrel::worddoc
