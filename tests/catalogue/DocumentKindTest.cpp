#include "catalogue/DocumentKind.h"

#include <gtest/gtest.h>

namespace kestrel::catalogue {
namespace {

TEST(DocumentKind, OnlyTheDocxExtensionInAnyCaseIsAPackage) {
  for (const char* path : {"/a/report.docx", "/a/MixedCase.Docx", "X.DOCX", "/a.b/c.docx"}) {
    EXPECT_EQ(DocumentKindOf(path), DocumentKind::Ooxml) << path;
  }
  for (const char* path : {"/a/report.doc", "/a/report.DOC", "/a/report.docm", "/a/report.docx.bak", "/a.docx/report",
                           "/a/docx", "report", "/a/report.xdocx"}) {
    EXPECT_EQ(DocumentKindOf(path), DocumentKind::Binary) << path;
  }
}

}  // namespace
}  // namespace kestrel::catalogue
