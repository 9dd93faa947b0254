// Office files in the window: the folder door lists a document of every known extension (Word,
// Excel and PowerPoint, compound files and packages, Strict among them) and nothing else, each
// reads as the independent readings say, and each takes a change from the single tab.
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "app/FileListModel.h"
#include "reading/DocumentReading.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/ExpectedRows.h"

namespace kestrel::app::test {
namespace {

namespace stdfs = std::filesystem;

// A file of each extension, as a copy of a document whose rows the readings give; an extension
// the corpus lacks takes a document of its application under that name.
struct Listed {
  const char* name;
  const char* source;
  bool office;  // in ../shared/corpus-office, else in tests/data
};
const Listed kListed[] = {
    {"a.doc", "lo-ascii-full.doc", false},   {"b.dot", "lo-ja-full.doc", false},
    {"c.docx", "lo-ascii-full.docx", false}, {"d.docm", "45690.docm", true},
    {"e.dotx", "60316b.dotx", true},         {"f.dotm", "45690.docm", true},
    {"g.xls", "finance.xls", true},          {"h.xlt", "12561-1.xls", true},
    {"i.xlsx", "52716.xlsx", true},          {"j.xlsm", "61495-test.xlsm", true},
    {"k.xltx", "test.xltx", true},           {"l.xltm", "61495-test.xlsm", true},
    {"m.xlsb", "Simple.xlsb", true},         {"n.xlsx", "SampleSS.strict.xlsx", true},
    {"o.ppt", "SampleShow.ppt", true},       {"p.pot", "bug46441.ppt", true},
    {"q.pps", "numbers.ppt", true},          {"r.pptx", "rain.pptx", true},
    {"s.pptm", "PPTWithAttachments.pptm", true},
    {"t.potx", "prProps.pptx", true},
    {"u.potm", "PPTWithAttachments.pptm", true},
    {"v.ppsx", "testPPT.ppsx", true},
    {"w.ppsm", "45545_Comment.pptx", true},
};

using OfficeFilesTest = MainWindowFixture;

TEST_F(OfficeFilesTest, AFolderOfOfficeFilesIsListedReadAndChanged) {
  const auto corpus = kestrel::test::OfficeCorpusDir();
  if (!corpus) GTEST_SKIP() << "the Office corpus (../shared/corpus-office/docs) is absent";
  const auto officeRows = kestrel::test::LoadExpectedRows(*corpus / "expected-rows.jsonl");
  const auto dataRows = kestrel::test::LoadExpectedRows(kestrel::test::DataFile("expected-rows.jsonl"));
  const stdfs::path folder = dir_.Path() / "office";
  stdfs::create_directories(folder);
  QStringList expectedPaths;
  for (const Listed& listed : kListed) {
    const stdfs::path source =
        listed.office ? *corpus / "docs" / listed.source : kestrel::test::DataFile(listed.source);
    stdfs::copy_file(source, folder / listed.name);
    stdfs::permissions(folder / listed.name, stdfs::perms::owner_write, stdfs::perm_options::add);
    expectedPaths << QString::fromStdString((folder / listed.name).string());
  }
  for (const char* other : {"x.txt", "y.xlsx.bak", "~$z.xlsx"}) stdfs::copy_file(folder / "i.xlsx", folder / other);

  dialogs_.folderAnswers.push_back(QString::fromStdString(folder.string()));
  QTest::mouseClick(View().addFolderButton, Qt::LeftButton);
  ASSERT_EQ(ListedPaths(), expectedPaths);

  const QString title = QStringLiteral("窓からの題名");
  for (int row = 0; row < Window().Files().rowCount(); ++row) {
    const Listed& listed = kListed[row];
    SCOPED_TRACE(listed.name);
    const auto& rows = (listed.office ? officeRows : dataRows).at(listed.source);
    ASSERT_TRUE(rows);
    SelectFile(row);
    EXPECT_EQ(StatusOf(row), FileStatus::NotChanged);
    EXPECT_EQ(Values(), *rows);

    EditText(catalogue::kTitle, title);
    QTest::mouseClick(View().changeSelectedButton, Qt::LeftButton);
    EXPECT_EQ(StatusOf(row), FileStatus::Changed);
    ooxml::PackageProperties packages;
    auto changed = *rows;
    changed[catalogue::kTitle] = title.toStdString();
    EXPECT_EQ(reading::ReadDocumentRows(packages, expectedPaths[row].toStdString()), changed);
  }
  EXPECT_TRUE(dialogs_.messages.empty());
}

}  // namespace
}  // namespace kestrel::app::test
