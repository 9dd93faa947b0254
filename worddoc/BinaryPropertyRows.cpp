#include "worddoc/BinaryPropertyRows.h"

#include <map>
#include <optional>

#include "catalogue/DocumentKind.h"
#include "platform/storage/OpenOutcome.h"
#include "platform/storage/PropertySetStorage.h"
#include "worddoc/DopStatistics.h"
#include "worddoc/PropertyText.h"
#include "worddoc/WordFib.h"

namespace kestrel::worddoc {

std::array<std::string, catalogue::kRowCount> ReadBinaryPropertyRows(const std::string& path, Outcome* unreadable) {
  return ReadBinaryPropertyRows(fs::OpenForReading(path), path, unreadable);
}

std::array<std::string, catalogue::kRowCount> ReadBinaryPropertyRows(fs::OpenResult opened, const std::string& path,
                                                                     Outcome* unreadable) {
  std::array<std::string, catalogue::kRowCount> texts;
  if (catalogue::ApplicationOf(path) == catalogue::Application::Word) {
    texts[catalogue::kEditingTime].assign(1, '0');  // (GCC 12 warns falsely on assigning a literal here)
  }
  try {
    if (unreadable != nullptr) *unreadable = fs::DescribeOpenError(opened);
    if (!opened.file) return texts;
    storage::CompoundFileOpenError error = storage::CompoundFileOpenError::None;
    const auto file = storage::CompoundFile::Open(std::move(opened.file), fs::OpenMode::Read, &error);
    if (unreadable != nullptr) *unreadable = storage::DescribeOpenError(error);
    if (!file) return texts;
    const bool word = HasWordDocumentStream(*file);
    // Each set is parsed once for all its rows.
    std::map<catalogue::PropertySetKind, std::optional<storage::PropertySetStream>> sets;
    const auto& rows = catalogue::Catalogue().Rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const bool editingTime = static_cast<int>(i) == catalogue::kEditingTime;
      if (editingTime && word) continue;
      const auto fmtid = FmtidOf(rows[i].propertySet);
      const auto pid = static_cast<std::uint32_t>(rows[i].propertyId);
      auto found = sets.find(rows[i].propertySet);
      if (found == sets.end()) found = sets.emplace(rows[i].propertySet, storage::ReadPropertySet(*file, fmtid)).first;
      const auto value = found->second ? found->second->Read(fmtid, pid) : std::nullopt;
      texts[i] = !value ? std::string() : editingTime ? EditingMinutesText(*value) : FormatPropertyValue(*value);
    }
    if (word) texts[catalogue::kEditingTime] = std::to_string(ReadEditingMinutes(*file));
  } catch (const std::bad_alloc&) {
    // Whatever was read stays; the rest is empty, as for any unreadable part.
    if (unreadable != nullptr) *unreadable = Outcome::Failure(FailureKind::Io, "not enough memory to read it");
  }
  return texts;
}

}  // namespace kestrel::worddoc
