#include "ooxml/PackageProperties.h"

#include <exception>
#include <optional>

#include "ooxml/OoxmlProperties.h"
#include "ooxml/zip/PackageZip.h"
#include "platform/fs/FileIo.h"
#include "platform/xml/XmlDocument.h"

namespace kestrel::ooxml {

namespace {

constexpr const char* kNotAPackage = "not a ZIP package, damaged, or without property parts";

// A package another program holds cannot even be read; said as such rather than as damage.
Outcome UnreadablePackage(const std::string& path, const std::string& reason) {
  if (fs::OpenFile(path, fs::OpenMode::Read).error == fs::OpenError::Locked) {
    return Outcome::Failure(FailureKind::HeldOpen, "held open by another program");
  }
  return Outcome::Failure(FailureKind::Damaged, reason);
}

}  // namespace

struct PackageProperties::Components {
  zip::TPackageZip zip;
  xml::XmlDocument xml;
};

PackageProperties::PackageProperties() : components_(std::make_unique<Components>()) {}
PackageProperties::~PackageProperties() = default;

void PackageProperties::SetOnMessage(MessageCallback callback) { components_->zip.SetOnMessage(std::move(callback)); }

Result<PropertyTexts> PackageProperties::Read(const std::string& path) {
  std::optional<PropertyTexts> texts;
  std::string reason = std::string("cannot be read as a package (") + kNotAPackage + ")";
  try {
    texts = ReadOoxmlProperties(components_->zip, components_->xml, path);
  } catch (const std::exception& error) {
    reason = error.what();
  }
  if (!texts) return UnreadablePackage(path, reason);
  return std::move(*texts);
}

Outcome PackageProperties::Write(const std::string& path, const catalogue::PropertyRows& rows) {
  bool written = false;
  std::string reason = std::string("not a readable package (") + kNotAPackage + ")";
  try {
    written = WriteOoxmlProperties(components_->zip, components_->xml, path, rows);
  } catch (const std::exception& error) {
    reason = error.what();
  }
  if (!written) return Outcome::Failure(FailureKind::Damaged, "its properties could not be written: " + reason);
  return Outcome::Success();
}

}  // namespace kestrel::ooxml
