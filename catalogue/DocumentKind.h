#pragma once
// Which kind of document a file is, told by its name's extension alone. One table holds every
// extension the program lists: Word, Excel and PowerPoint files, each a compound file (property
// sets) or a package (property parts), and OpenDocument packages (a meta.xml part). Every door,
// filter and service asks it.
// Nothing here throws except std::bad_alloc.

#include <span>
#include <string_view>

namespace kestrel::catalogue {

enum class DocumentKind {
  Binary,  // a compound file: property sets, and for Word its statistics block
  Ooxml,   // a package: core and extended property parts
  OpenDocument,  // an OpenDocument package: the meta.xml part
};

enum class Application {
  Word,
  Excel,
  PowerPoint,
  // The OpenDocument kinds: text, spreadsheet, presentation and drawing.
  Writer,
  Calc,
  Impress,
  Draw,
};

struct KnownExtension {
  std::string_view extension;  // upper-cased, with its dot: ".DOC"
  DocumentKind kind;
  Application application;
  bool plainDocument;  // the application's own document: no template, show or macro-enabled variant
};

// In the order the open dialog's filter lists them.
std::span<const KnownExtension> KnownExtensions();

// The table's row for the file name's extension (in any case); nullptr when it is none of them.
const KnownExtension* FindKnownExtension(std::string_view path);

// A package or an OpenDocument package for their extensions; any other file is read as a compound file, as a Word
// document always was.
DocumentKind DocumentKindOf(std::string_view path);

// Word for a name the table does not know, which is read as a Word document.
Application ApplicationOf(std::string_view path);

}  // namespace kestrel::catalogue
