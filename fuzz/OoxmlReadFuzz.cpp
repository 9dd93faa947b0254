// Drives the whole reading of a package's properties over arbitrary bytes: the archive, the
// relationships part, both property parts and their dates. The ZIP and XML layers' own errors
// are expected outcomes; any other exception, or a crash, is a bug.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "fuzz/MemoryFile.h"
#include "ooxml/OoxmlProperties.h"
#include "platform/xml/XmlError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto bytes = std::make_shared<std::vector<std::uint8_t>>(data, data + size);
  const kestrel::fuzz::ScopedMemoryFiles files(bytes);
  kestrel::zip::Package package;
  kestrel::xml::XmlDocument partDocument;
  package.SetMaxPartSize(std::size_t{1} << 20);
  try {
    kestrel::ooxml::ReadOoxmlProperties(package, partDocument, "fuzz.docx");
  } catch (const kestrel::zip::Error&) {
  } catch (const kestrel::xml::XmlError&) {
  } catch (...) {
    std::fprintf(stderr, "OoxmlReadFuzz: unexpected exception\n");
    std::abort();
  }
  return 0;
}
