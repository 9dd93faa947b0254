#include "catalogue/DocumentKind.h"

#include <gtest/gtest.h>

#include <set>

namespace kestrel::catalogue {
namespace {

TEST(DocumentKind, TheExtensionInAnyCaseDecidesTheKindAndTheApplication) {
  struct Case {
    const char* path;
    DocumentKind kind;
    Application application;
    bool known = true;
  };
  const Case cases[] = {
      {"/a/report.docx", DocumentKind::Ooxml, Application::Word},
      {"/a/MixedCase.Docx", DocumentKind::Ooxml, Application::Word},
      {"/a.b/c.DOTM", DocumentKind::Ooxml, Application::Word},
      {"/a/macro.docm", DocumentKind::Ooxml, Application::Word},
      {"/a/report.doc", DocumentKind::Binary, Application::Word},
      {"/a/template.Dot", DocumentKind::Binary, Application::Word},
      {"/a/book.xls", DocumentKind::Binary, Application::Excel},
      {"/a/book.XLT", DocumentKind::Binary, Application::Excel},
      {"/a/book.xlsb", DocumentKind::Ooxml, Application::Excel},
      {"/a/book.xltm", DocumentKind::Ooxml, Application::Excel},
      {"/a/show.pps", DocumentKind::Binary, Application::PowerPoint},
      {"/a/show.pot", DocumentKind::Binary, Application::PowerPoint},
      {"/a/show.PPSM", DocumentKind::Ooxml, Application::PowerPoint},
      {"/a/show.potx", DocumentKind::Ooxml, Application::PowerPoint},
      {"/a/letter.odt", DocumentKind::OpenDocument, Application::Writer},
      {"/a/letter.OTT", DocumentKind::OpenDocument, Application::Writer},
      {"/a/sheet.ods", DocumentKind::OpenDocument, Application::Calc},
      {"/a/sheet.ots", DocumentKind::OpenDocument, Application::Calc},
      {"/a/slides.Odp", DocumentKind::OpenDocument, Application::Impress},
      {"/a/slides.otp", DocumentKind::OpenDocument, Application::Impress},
      {"/a/plan.odg", DocumentKind::OpenDocument, Application::Draw},
      {"/a/plan.otg", DocumentKind::OpenDocument, Application::Draw},
      // A flat OpenDocument file is one XML file, no package.
      {"/a/letter.fodt", DocumentKind::Binary, Application::Word, false},
      // Names the table does not know are read as Word documents always were.
      {"/a/report.docx.bak", DocumentKind::Binary, Application::Word, false},
      {"/a.docx/report", DocumentKind::Binary, Application::Word, false},
      {"/a/docx", DocumentKind::Binary, Application::Word, false},
      {"/a/report.xdocx", DocumentKind::Binary, Application::Word, false},
      {"report", DocumentKind::Binary, Application::Word, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DocumentKindOf(c.path), c.kind) << c.path;
    EXPECT_EQ(ApplicationOf(c.path), c.application) << c.path;
    EXPECT_EQ(FindKnownExtension(c.path) != nullptr, c.known) << c.path;
  }
}

TEST(DocumentKind, TheTableHoldsEveryExtensionOnce) {
  std::set<std::string_view> compound, package, openDocument, plain;
  for (const KnownExtension& known : KnownExtensions()) {
    auto& set = known.kind == DocumentKind::Binary ? compound : known.kind == DocumentKind::Ooxml ? package : openDocument;
    EXPECT_TRUE(set.insert(known.extension).second) << known.extension;
    if (known.plainDocument && known.application == Application::Word) plain.insert(known.extension);
  }
  EXPECT_EQ(compound, (std::set<std::string_view>{".DOC", ".DOT", ".XLS", ".XLT", ".PPT", ".POT", ".PPS"}));
  EXPECT_EQ(package, (std::set<std::string_view>{".DOCX", ".DOCM", ".DOTX", ".DOTM", ".XLSX", ".XLSM", ".XLTX", ".XLTM",
                                                 ".XLSB", ".PPTX", ".PPTM", ".POTX", ".POTM", ".PPSX", ".PPSM"}));
  EXPECT_EQ(openDocument, (std::set<std::string_view>{".ODT", ".OTT", ".ODS", ".OTS", ".ODP", ".OTP", ".ODG", ".OTG"}));
  // The open dialog's first filter: the two Word documents it always offered.
  EXPECT_EQ(plain, (std::set<std::string_view>{".DOC", ".DOCX"}));
}

}  // namespace
}  // namespace kestrel::catalogue
