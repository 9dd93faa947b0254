// The open dialog's filter as Qt takes it: the same text, patterns that match any letter case.
#include <QRegularExpression>

#include <gtest/gtest.h>

#include "app/DesktopDialogs.h"

namespace kestrel::app::test {
namespace {

bool Matches(const QString& qtFilter, const QString& name) {
  const QString patterns = qtFilter.section(u'(', 1).chopped(1);
  for (const QString& pattern : patterns.split(u' ')) {
    if (QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern)).match(name).hasMatch()) return true;
  }
  return false;
}

TEST(NameFilter, KeepsTheTextAndMatchesTheExtensionsInAnyCase) {
  const QString filter = QtNameFilter(QStringLiteral("Microsoft Word document Files|*.DOC;*.DOCX"));
  EXPECT_TRUE(filter.startsWith(QStringLiteral("Microsoft Word document Files (")));
  for (const char* name : {"a.doc", "B.DOC", "c.Docx", "d.DOCX", "~$e.doc"}) EXPECT_TRUE(Matches(filter, QString::fromLatin1(name))) << name;
  for (const char* name : {"a.docm", "a.doc.bak", "a.txt", "doc"}) EXPECT_FALSE(Matches(filter, QString::fromLatin1(name))) << name;
}

}  // namespace
}  // namespace kestrel::app::test
