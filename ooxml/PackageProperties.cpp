#include "ooxml/PackageProperties.h"

#include <exception>
#include <optional>

#include "ooxml/FindPropertyParts.h"
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

// What the search for the property parts says when the reading found none, so the user learns
// which: no ZIP package, no relationship, a part missing or empty.
std::string WhyNoPropertyParts(zip::Package& zip, xml::XmlDocument& xml, const std::string& path) {
  const Result<PropertyParts> parts = LocatePropertyParts(zip, xml, path);
  xml.Reset();
  return parts ? "a property part is missing or empty" : parts.outcome().message();
}

}  // namespace

struct PackageProperties::Components {
  zip::Package zip;
  xml::XmlDocument xml;
};

PackageProperties::PackageProperties() : components_(std::make_unique<Components>()) {}
PackageProperties::~PackageProperties() = default;

Result<PropertyTexts> PackageProperties::Read(fs::RandomAccessFile& file, const std::string& path) {
  components_->zip.ReadThrough(&file);
  std::optional<PropertyTexts> texts;
  std::string reason;
  FailureKind kind = FailureKind::Damaged;
  try {
    texts = ReadOoxmlProperties(components_->zip, components_->xml, path);
    if (!texts) reason = WhyNoPropertyParts(components_->zip, components_->xml, path);
  } catch (const zip::UnsupportedMethod& error) {
    kind = FailureKind::Unsupported;
    reason = error.what();
  } catch (const std::exception& error) {
    reason = error.what();
  }
  components_->zip.ReadThrough(nullptr);
  if (!texts) return Outcome::Failure(kind, "cannot be read as a package: " + reason);
  return std::move(*texts);
}

Result<bool> PackageProperties::AlreadyHolds(fs::RandomAccessFile& file, const std::string& path,
                                             const catalogue::PropertyRows& rows) {
  components_->zip.ReadThrough(&file);
  const Result<std::vector<PartUpdate>> planned = PlanOoxmlProperties(components_->zip, components_->xml, path, rows);
  components_->zip.ReadThrough(nullptr);
  if (!planned) return planned.outcome();
  return planned->empty();
}

Outcome PackageProperties::Write(const std::string& path, const catalogue::PropertyRows& rows,
                                 const fs::FileRecord& state) {
  const fs::FinalState finalState{state, true, path};
  Outcome changed = ChangeOoxmlProperties(components_->zip, components_->xml, path, rows, &finalState);
  if (changed.kind() == FailureKind::NotADocument || changed.kind() == FailureKind::Io) {
    return Unreadable(path, changed);
  }
  return changed;
}

}  // namespace kestrel::ooxml
