// The open dialog's filters as Qt takes them: the same texts, patterns that match any letter case.
#include <iterator>
#include <vector>

#include <QRegularExpression>

#include <gtest/gtest.h>

#include "app/DesktopDialogs.h"
#include "app/DocumentNames.h"

namespace kestrel::app::test {
namespace {

bool Matches(const QString& qtFilter, const QString& name) {
  const QString patterns = qtFilter.section(u'(', 1).chopped(1);
  for (const QString& pattern : patterns.split(u' ')) {
    if (QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern)).match(name).hasMatch()) return true;
  }
  return false;
}

TEST(NameFilter, KeepsEachTextAndMatchesItsExtensionsInAnyCaseWordFirst) {
  const QStringList filters = QtNameFilter(OpenDialogFilter()).split(QStringLiteral(";;"));
  const struct {
    const char* text;
    std::vector<const char*> matched, unmatched;
  } expected[] = {
      {"Microsoft Word document Files (", {"a.doc", "B.DOC", "c.Docx", "d.DOCX", "~$e.doc"},
       {"a.docm", "a.doc.bak", "a.txt", "doc", "a.xls"}},
      {"Microsoft Office document Files (", {"a.doc", "b.Xls", "c.PPTX", "d.docm", "e.xlsb", "f.pps"},
       {"a.doc.bak", "a.txt", "xls", "a.odt"}},
      {"OpenDocument Files (", {"a.odt", "b.OTT", "c.Ods", "d.ots", "e.odp", "f.otp", "g.odg", "h.otg"},
       {"a.fodt", "a.doc", "a.odt.bak", "odt"}},
  };
  ASSERT_EQ(filters.size(), std::ssize(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const QString& filter = filters[static_cast<qsizetype>(i)];
    EXPECT_TRUE(filter.startsWith(QString::fromLatin1(expected[i].text))) << filter.toStdString();
    for (const char* name : expected[i].matched) EXPECT_TRUE(Matches(filter, QString::fromLatin1(name))) << name;
    for (const char* name : expected[i].unmatched) EXPECT_FALSE(Matches(filter, QString::fromLatin1(name))) << name;
  }
}

}  // namespace
}  // namespace kestrel::app::test
