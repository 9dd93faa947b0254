// Drives the whole reading of an OpenDocument package's properties over arbitrary bytes: the
// archive, the manifest, meta.xml, its dates, durations and user-defined properties, and a plan
// of a change in memory. Every failure is an outcome; an exception (it ends the process) or a
// crash is a bug.
#include <cstdint>
#include <memory>
#include <vector>

#include "fuzz/MemoryFile.h"
#include "odf/OpenDocumentPackage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto bytes = std::make_shared<std::vector<std::uint8_t>>(data, data + size);
  const kestrel::fuzz::ScopedMemoryFiles files(bytes);
  kestrel::zip::Package package;
  kestrel::xml::XmlDocument part;
  package.SetMaxPartSize(std::size_t{1} << 20);
  const kestrel::ooxml::PackageFormat& format = kestrel::odf::OpenDocumentFormat();
  format.ReadRows(package, part, "fuzz.odt");
  format.ReadOthers(package, part, "fuzz.odt");
  kestrel::catalogue::PropertyRows rows;
  rows.included.fill(true);
  rows.values[kestrel::catalogue::kKeywords] = "a, b";
  kestrel::catalogue::OtherEdits edits;
  edits.removeTemplate = true;
  edits.custom = {{"x", std::nullopt}};
  format.Plan(package, part, "fuzz.odt", rows, edits);
  return 0;
}
