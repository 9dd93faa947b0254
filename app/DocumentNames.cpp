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

bool HasDocumentExtension(const QString& path) { return catalogue::FindKnownExtension(NativePath(path)) != nullptr; }

QString OpenDialogFilter() {
  QStringList word;
  QStringList office;
  QStringList openDocument;
  for (const catalogue::KnownExtension& known : catalogue::KnownExtensions()) {
    const QString pattern =
        u'*' + QString::fromLatin1(known.extension.data(), static_cast<qsizetype>(known.extension.size()));
    if (known.application == catalogue::Application::Word && known.plainDocument) word << pattern;
    (known.kind == catalogue::DocumentKind::OpenDocument ? openDocument : office) << pattern;
  }
  return QStringLiteral("Microsoft Word document Files|%1|Microsoft Office document Files|%2|OpenDocument Files|%3")
      .arg(word.join(u';'), office.join(u';'), openDocument.join(u';'));
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
