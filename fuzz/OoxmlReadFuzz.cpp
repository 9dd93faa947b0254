// Drives the whole reading of a package's properties over arbitrary bytes: the archive, the
// relationships part, both property parts and their dates. Every failure is an outcome; an
// exception (it ends the process) or a crash is a bug.
#include <cstdint>
#include <memory>
#include <vector>

#include "fuzz/MemoryFile.h"
#include "ooxml/OoxmlProperties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto bytes = std::make_shared<std::vector<std::uint8_t>>(data, data + size);
  const kestrel::fuzz::ScopedMemoryFiles files(bytes);
  kestrel::zip::Package package;
  kestrel::xml::XmlDocument partDocument;
  package.SetMaxPartSize(std::size_t{1} << 20);
  kestrel::ooxml::ReadOoxmlProperties(package, partDocument, "fuzz.docx");
  return 0;
}
