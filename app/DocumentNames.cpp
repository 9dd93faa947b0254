#include "app/DocumentNames.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <QCollator>
#include <QLocale>

#include "app/NativePath.h"
#include "catalogue/DocumentKind.h"

namespace kestrel::app {

bool HasOwnerFileMark(const QString& path) { return path.contains(QStringLiteral("~$")); }

bool HasWordExtension(const QString& path) {
  const std::string extension = catalogue::UpperExtension(NativePath(path));
  return extension == ".DOC" || extension == ".DOCX";
}

void SortNaturally(QStringList& names) {
  QCollator collator{QLocale(QLocale::Japanese, QLocale::Japan)};
  collator.setNumericMode(true);
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  // One key per name: a folder can hold a hundred thousand of them.
  std::vector<std::pair<QCollatorSortKey, QString>> keyed;
  keyed.reserve(static_cast<std::size_t>(names.size()));
  for (QString& name : names) keyed.emplace_back(collator.sortKey(name), std::move(name));
  // Names equal to the collator still get one fixed order.
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    const int order = a.first.compare(b.first);
    return order != 0 ? order < 0 : a.second < b.second;
  });
  names.clear();
  for (auto& [key, name] : keyed) names << std::move(name);
}

}  // namespace kestrel::app
