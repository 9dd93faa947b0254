#include "ooxml/PackageProperties.h"

#include <exception>
#include <optional>

#include "ooxml/OoxmlProperties.h"
#include "ooxml/zip/PackageZip.h"
#include "platform/fs/FileIo.h"
#include "platform/xml/XmlDocument.h"

namespace kestrel::ooxml {

namespace {

// A package another program holds cannot even be read; said as such rather than as damage.
Outcome Unreadable(const std::string& path, Outcome failure) {
  if (fs::OpenFile(path, fs::OpenMode::Read).error == fs::OpenFailure::Locked) {
    return Outcome::Failure(FailureKind::HeldOpen, "held open by another program");
  }
  return failure;
}

}  // namespace

struct PackageProperties::Components {
  zip::Package zip;
  xml::XmlDocument xml;
};

PackageProperties::PackageProperties() : components_(std::make_unique<Components>()) {
  // A change of a read-only package keeps its bit set throughout where the system lets us.
  components_->zip.SetRewriteReadOnly(true);
}
PackageProperties::~PackageProperties() = default;

void PackageProperties::SetOnMessage(MessageCallback callback) { components_->zip.SetOnMessage(std::move(callback)); }

Result<PropertyTexts> PackageProperties::Read(const std::string& path) {
  std::optional<PropertyTexts> texts;
  std::string reason = "cannot be read as a package (not a ZIP package, damaged, or without property parts)";
  try {
    texts = ReadOoxmlProperties(components_->zip, components_->xml, path);
  } catch (const std::exception& error) {
    reason = error.what();
  }
  if (!texts) return Unreadable(path, Outcome::Failure(FailureKind::Damaged, reason));
  return std::move(*texts);
}

Outcome PackageProperties::Write(const std::string& path, const catalogue::PropertyRows& rows) {
  Outcome changed = ChangeOoxmlProperties(components_->zip, components_->xml, path, rows);
  if (changed.kind() == FailureKind::NotADocument || changed.kind() == FailureKind::Io) {
    return Unreadable(path, changed);
  }
  return changed;
}

}  // namespace kestrel::ooxml
