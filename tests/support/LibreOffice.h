#pragma once
// LibreOffice headless as an independent reader: a document it converts to text opens, and the
// text shows whether its body is intact.

#include <filesystem>
#include <optional>
#include <string>

namespace kestrel::test {

// soffice's path; empty, with the reason printed, when LibreOffice is not installed.
std::optional<std::string> Soffice();

// The document's body as plain text, or nullopt when LibreOffice cannot convert it.
std::optional<std::string> ConvertToText(const std::filesystem::path& document);

// The text of the document's body once LibreOffice converted it to OpenDocument `format` ("ods"
// for a workbook, "odp" for a presentation), read by tests/oracle/odf_text.py; nullopt when
// LibreOffice cannot convert it. Writer's plain-text export takes neither.
std::optional<std::string> ConvertToOpenDocumentText(const std::filesystem::path& document, const std::string& format);

// The user-defined properties LibreOffice finds in the document, once it converted it to
// OpenDocument `format`: "name<TAB>value-type<TAB>text" lines, read by
// tests/oracle/odf_user_defined.py; nullopt when LibreOffice cannot convert it.
std::optional<std::string> ConvertToOpenDocumentUserDefined(const std::filesystem::path& document,
                                                            const std::string& format);

}  // namespace kestrel::test
