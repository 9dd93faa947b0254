#pragma once
// The package side of every service: the ZIP component and the XML document that reading and
// changing packages (Office and OpenDocument ones) need, kept for the life of the owner (the ZIP component caches a package's
// directory) behind one object, so that no caller handles either.

#include <array>
#include <memory>
#include <string>

#include "catalogue/PropertyDocument.h"
#include "ooxml/PackageFormat.h"
#include "platform/fs/FileIo.h"

namespace kestrel::ooxml {

using catalogue::PropertyTexts;

class PackageProperties {
 public:
  PackageProperties();
  ~PackageProperties();
  PackageProperties(const PackageProperties&) = delete;
  PackageProperties& operator=(const PackageProperties&) = delete;

  // The Office package at `path` behind the one document interface, read through `opened` (the package
  // opened for reading, or why it could not be). It answers through this object's components, so
  // it must not outlive it, and only one document answers at a time. Its rows fail with the reason
  // of the layer that failed; its plan is made in memory; writing the plan is one rewrite: a new
  // file that gets the package's owner and group (or is not put in place), user attributes and
  // the planned state before it takes the package's name. The package is only read, so a
  // read-only one is never made writable. Never throws.
  std::unique_ptr<catalogue::PropertyDocument> Open(fs::OpenResult opened, const std::string& path);

  // The same for a package whose properties `format` reads and plans (it outlives the document).
  std::unique_ptr<catalogue::PropertyDocument> Open(fs::OpenResult opened, const std::string& path,
                                                    const PackageFormat& format);

 private:
  struct Components;
  std::unique_ptr<Components> components_;
};

}  // namespace kestrel::ooxml
