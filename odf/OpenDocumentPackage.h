#pragma once
// An OpenDocument package (.odt, .ods, .odp, .odg and their templates) behind the one document
// interface: its 14 rows and other properties read from meta.xml, and a change planned as that
// part's new bytes (and the manifest's, when the package has no meta.xml yet). Writing goes through
// the package session of ooxml::PackageProperties: one rewrite of the package in which the mimetype
// entry stays first and stored and every other entry is carried over byte for byte.
// Nothing here throws except std::bad_alloc.

#include <memory>
#include <string>

#include "catalogue/PropertyDocument.h"
#include "ooxml/PackageFormat.h"
#include "ooxml/PackageProperties.h"
#include "platform/fs/FileIo.h"

namespace kestrel::odf {

// Reading fails with NotADocument (no ZIP package, no META-INF/manifest.xml), Encrypted (meta.xml
// or the whole package listed with encryption data in the manifest), Damaged (a part that is not
// well-formed or cannot be extracted), Unsupported (meta.xml of another document element, an
// element holding more than text); a package without meta.xml has empty rows. A plan fails as the
// reading does, and with InvalidValue as MetaRows.h and UserDefinedProperties.h say, or when the
// new part would not read back as asked (every included row, the custom properties as
// catalogue::CustomAfterEdits gives them, the removed template and hyperlink base).
const ooxml::PackageFormat& OpenDocumentFormat();

// The package at `path` as `packages` opens Office packages, through `opened`.
std::unique_ptr<catalogue::PropertyDocument> OpenPackage(ooxml::PackageProperties& packages, fs::OpenResult opened,
                                                         const std::string& path);

}  // namespace kestrel::odf
