#include "catalogue/DocumentKind.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace kestrel::catalogue {

namespace {

using enum Application;
constexpr DocumentKind kCompound = DocumentKind::Binary;
constexpr DocumentKind kPackage = DocumentKind::Ooxml;
constexpr DocumentKind kOpenDocument = DocumentKind::OpenDocument;

constexpr std::array kKnownExtensions = {
    KnownExtension{".DOC",  kCompound, Word,       true},
    KnownExtension{".DOT",  kCompound, Word,       false},
    KnownExtension{".DOCX", kPackage,  Word,       true},
    KnownExtension{".DOCM", kPackage,  Word,       false},
    KnownExtension{".DOTX", kPackage,  Word,       false},
    KnownExtension{".DOTM", kPackage,  Word,       false},
    KnownExtension{".XLS",  kCompound, Excel,      true},
    KnownExtension{".XLT",  kCompound, Excel,      false},
    KnownExtension{".XLSX", kPackage,  Excel,      true},
    KnownExtension{".XLSM", kPackage,  Excel,      false},
    KnownExtension{".XLTX", kPackage,  Excel,      false},
    KnownExtension{".XLTM", kPackage,  Excel,      false},
    KnownExtension{".XLSB", kPackage,  Excel,      true},
    KnownExtension{".PPT",  kCompound, PowerPoint, true},
    KnownExtension{".POT",  kCompound, PowerPoint, false},
    KnownExtension{".PPS",  kCompound, PowerPoint, false},
    KnownExtension{".PPTX", kPackage,  PowerPoint, true},
    KnownExtension{".PPTM", kPackage,  PowerPoint, false},
    KnownExtension{".POTX", kPackage,  PowerPoint, false},
    KnownExtension{".POTM", kPackage,  PowerPoint, false},
    KnownExtension{".PPSX", kPackage,  PowerPoint, false},
    KnownExtension{".PPSM", kPackage,  PowerPoint, false},
    // Flat OpenDocument files (.fodt and the like) are one XML file, not a package: left out.
    KnownExtension{".ODT",  kOpenDocument, Writer,  true},
    KnownExtension{".OTT",  kOpenDocument, Writer,  false},
    KnownExtension{".ODS",  kOpenDocument, Calc,    true},
    KnownExtension{".OTS",  kOpenDocument, Calc,    false},
    KnownExtension{".ODP",  kOpenDocument, Impress, true},
    KnownExtension{".OTP",  kOpenDocument, Impress, false},
    KnownExtension{".ODG",  kOpenDocument, Draw,    true},
    KnownExtension{".OTG",  kOpenDocument, Draw,    false},
};

// The file name's text from its last dot on, upper-cased (".DOCX"); empty when the name has none.
std::string UpperExtension(std::string_view path) {
  // The extension is the text from the last dot on, if that dot is in the file name.
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  std::string extension(path.substr(dot));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return extension;
}

}  // namespace

std::span<const KnownExtension> KnownExtensions() { return kKnownExtensions; }

const KnownExtension* FindKnownExtension(std::string_view path) {
  const std::string extension = UpperExtension(path);
  const auto found = std::find_if(kKnownExtensions.begin(), kKnownExtensions.end(),
                                  [&](const KnownExtension& known) { return known.extension == extension; });
  return found == kKnownExtensions.end() ? nullptr : &*found;
}

DocumentKind DocumentKindOf(std::string_view path) {
  const KnownExtension* known = FindKnownExtension(path);
  return known != nullptr ? known->kind : DocumentKind::Binary;
}

Application ApplicationOf(std::string_view path) {
  const KnownExtension* known = FindKnownExtension(path);
  return known != nullptr ? known->application : Application::Word;
}

}  // namespace kestrel::catalogue
