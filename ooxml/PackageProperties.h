#pragma once
// The package side of every service: the ZIP component and the XML document that reading and
// changing packages need, kept for the life of the owner (the ZIP component caches a package's
// directory) behind one object, so that no caller handles either. One operation at a time.

#include <array>
#include <memory>
#include <string>

#include "catalogue/PropertyRows.h"
#include "platform/Outcome.h"

namespace kestrel::fs {
class RandomAccessFile;
struct FileRecord;
}

namespace kestrel::ooxml {

using PropertyTexts = std::array<std::string, catalogue::kRowCount>;

class PackageProperties {
 public:
  PackageProperties();
  ~PackageProperties();
  PackageProperties(const PackageProperties&) = delete;
  PackageProperties& operator=(const PackageProperties&) = delete;

  // The 14 texts in catalogue order, read through `file` (the package at `path`, opened for
  // reading by the caller), or why not: the reason of the layer that failed. The package is never
  // changed. Never throws.
  Result<PropertyTexts> Read(fs::RandomAccessFile& file, const std::string& path);

  // Through `file`, the package at `path` opened for reading by the caller: true when Write would
  // store nothing, every included row already holding its value; the failures Write would refuse
  // the rows with otherwise. Never throws.
  Result<bool> AlreadyHolds(fs::RandomAccessFile& file, const std::string& path, const catalogue::PropertyRows& rows);

  // Writes the included rows into the property parts in one rewrite: a new file that gets the
  // package's owner and group (or is not put in place), user attributes and `state` (permission
  // bits, attribute store, three times) before it takes the package's name. The package is only
  // read, so a read-only one is never made writable. A failure names what failed. Never throws.
  Outcome Write(const std::string& path, const catalogue::PropertyRows& rows, const fs::FileRecord& state);

 private:
  struct Components;
  std::unique_ptr<Components> components_;
};

}  // namespace kestrel::ooxml
