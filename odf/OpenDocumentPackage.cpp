#include "odf/OpenDocumentPackage.h"

#include <span>

#include "odf/MetaPart.h"
#include "odf/MetaRows.h"
#include "odf/UserDefinedProperties.h"

namespace kestrel::odf {

namespace {

constexpr std::string_view kManifestNamespace = "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0";
constexpr std::string_view kMetaEntry = "meta.xml";
constexpr std::string_view kManifestEntry = "META-INF\\manifest.xml";
constexpr std::string_view kManifestName = "META-INF/manifest.xml";
constexpr std::string_view kDefaultVersion = "1.2";

struct Manifest {
  bool listsMeta = false;
  std::string version;  // the package's OpenDocument version, empty when it names none
};

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The entry's bytes; nullopt when the package has no such entry.
Result<std::optional<std::vector<std::uint8_t>>> Extract(zip::Package& package, std::string_view entry) {
  std::vector<std::uint8_t> bytes;
  const Result<int> extracted = package.ExtractToMemory(&bytes, std::string(entry));
  if (!extracted) return extracted.outcome();
  if (*extracted == 0) return std::optional<std::vector<std::uint8_t>>();
  return std::optional<std::vector<std::uint8_t>>(std::move(bytes));
}

Outcome Refused(FailureKind kind, std::string_view message) { return Outcome::Failure(kind, std::string(message)); }

// Opens the package and reads its manifest, refusing what must not be read or written.
Result<Manifest> ReadManifest(zip::Package& package, xml::XmlDocument& part, const std::string& path) {
  package.SetRelativePaths(true);
  package.SetZipName(path);
  if (const Outcome opened = package.OpenArchive(); !opened) {
    if (opened.kind() == FailureKind::NotADocument) return opened.Within("not a ZIP package");
    return opened;
  }
  const auto bytes = Extract(package, kManifestEntry);
  if (!bytes) return bytes.outcome();
  if (!*bytes || (*bytes)->empty()) {
    return Refused(FailureKind::NotADocument, "META-INF/manifest.xml is missing: not an OpenDocument package");
  }
  if (Outcome loaded = part.Load(**bytes); !loaded) return loaded.Within(kManifestName);
  const xml::XmlNode root = part.DocumentElement();
  if (root.LocalName() != "manifest" || root.NamespaceUri() != kManifestNamespace) {
    return Refused(FailureKind::NotADocument, "META-INF/manifest.xml is no OpenDocument manifest");
  }
  Manifest manifest{false, OwnAttribute(root, "version").value_or("")};
  for (const xml::XmlNode& entry : root.Children()) {
    if (entry.Kind() != xml::XmlNodeKind::Element || entry.LocalName() != "file-entry") continue;
    const std::string fullPath = OwnAttribute(entry, "full-path").value_or("");
    const std::vector<xml::XmlNode> children = entry.Children();
    const bool encrypted = std::any_of(children.begin(), children.end(),
                                       [](const xml::XmlNode& child) { return child.LocalName() == "encryption-data"; });
    if (fullPath == kMetaEntry) {
      if (encrypted) return Refused(FailureKind::Encrypted, "meta.xml is encrypted");
      manifest.listsMeta = true;
    }
    if (fullPath == "encrypted-package" && encrypted) return Refused(FailureKind::Encrypted, "the package is encrypted as a whole");
  }
  return manifest;
}

// Loads meta.xml, or an empty one when the package has none (`present` says which).
Outcome LoadMeta(zip::Package& package, xml::XmlDocument& part, const Manifest& manifest, bool& present) {
  const auto bytes = Extract(package, kMetaEntry);
  if (!bytes) return bytes.outcome();
  present = bytes->has_value() && !(*bytes)->empty();
  if (!present) {
    return part.Load(Bytes(EmptyMetaPart(manifest.version.empty() ? kDefaultVersion : manifest.version)));
  }
  if (Outcome loaded = part.Load(**bytes); !loaded) return loaded.Within(kMetaEntry);
  return MetaPart(part).CheckDocumentElement().Within(kMetaEntry);
}

// The manifest with a file-entry for a new meta.xml. Leaves it loaded.
Result<std::vector<std::uint8_t>> ManifestListingMeta(zip::Package& package, xml::XmlDocument& part) {
  const auto bytes = Extract(package, kManifestEntry);
  if (!bytes) return bytes.outcome();
  if (!*bytes) return Refused(FailureKind::NotADocument, "META-INF/manifest.xml is missing");
  if (Outcome loaded = part.Load(**bytes); !loaded) return loaded.Within(kManifestName);
  Result<xml::XmlNode> entry = part.AppendChild(kManifestNamespace, "file-entry", "manifest");
  if (!entry) return entry.outcome().Within(kManifestName);
  for (const auto& [name, value] : {std::pair{"full-path", kMetaEntry}, {"media-type", std::string_view("text/xml")}}) {
    const Result<std::string> attribute = part.BindPrefix(kManifestNamespace, "manifest");
    if (!attribute) return attribute.outcome().Within(kManifestName);
    if (Outcome set = entry->SetAttribute(*attribute + ":" + name, value); !set) return set.Within(kManifestName);
  }
  Result<std::vector<std::uint8_t>> saved = part.Save();
  if (!saved) return saved.outcome().Within(kManifestName);
  std::string readAgain(kManifestName);
  readAgain.append(": the rewritten manifest does not read again");
  if (Outcome loaded = part.Load(*saved); !loaded) return loaded.Within(readAgain);
  return saved;
}

Result<catalogue::PropertyTexts> ReadRows(zip::Package& package, xml::XmlDocument& part, const std::string& path) {
  const Result<Manifest> manifest = ReadManifest(package, part, path);
  if (!manifest) return manifest.outcome();
  bool present = false;
  if (Outcome loaded = LoadMeta(package, part, *manifest, present); !loaded) return loaded;
  return ReadMetaRows(MetaPart(part));
}

Result<std::vector<catalogue::OtherProperty>> ReadOthers(zip::Package& package, xml::XmlDocument& part,
                                                         const std::string& path) {
  const Result<Manifest> manifest = ReadManifest(package, part, path);
  if (!manifest) return manifest.outcome();
  bool present = false;
  if (Outcome loaded = LoadMeta(package, part, *manifest, present); !loaded) return loaded;
  const MetaPart meta(part);
  if (Result<catalogue::PropertyTexts> rows = ReadMetaRows(meta); !rows) return rows.outcome().Within(kMetaEntry);
  return ReadUserDefined(meta);
}

Result<std::vector<ooxml::PartUpdate>> Plan(zip::Package& package, xml::XmlDocument& part, const std::string& path,
                                            const catalogue::PropertyRows& rows, const catalogue::OtherEdits& others) {
  const Result<Manifest> manifest = ReadManifest(package, part, path);
  if (!manifest) return manifest.outcome();
  bool present = false;
  if (Outcome loaded = LoadMeta(package, part, *manifest, present); !loaded) return loaded;
  MetaPart meta(part);
  const Result<catalogue::PropertyTexts> wanted = WantedRows(rows);
  if (!wanted) return wanted.outcome().Within(kMetaEntry);
  const std::vector<catalogue::OtherProperty> before = ReadCustom(meta);
  const Result<bool> rowsChanged = ApplyMetaRows(meta, rows, *wanted);
  if (!rowsChanged) return rowsChanged.outcome().Within(kMetaEntry);
  const Result<bool> othersChanged = ApplyUserDefinedEdits(meta, others);
  if (!othersChanged) return othersChanged.outcome().Within(kMetaEntry);
  if (!*rowsChanged && !*othersChanged) return std::vector<ooxml::PartUpdate>();
  Result<std::vector<std::uint8_t>> saved = part.Save();  // refuses a character the part's own encoding cannot hold
  if (!saved) return saved.outcome().Within(kMetaEntry);

  // Read back the way the reading will, from the very bytes that would be stored.
  const std::string readAgain = "meta.xml: the rewritten part does not read again";
  if (Outcome loaded = part.Load(*saved); !loaded) return loaded.Within(readAgain);
  const Result<catalogue::PropertyTexts> after = ReadMetaRows(meta);
  if (!after) return after.outcome().Within(readAgain);
  for (int row = 0; row < catalogue::kRowCount; ++row) {
    const auto at = static_cast<std::size_t>(row);
    if (rows.Included(row) && (*after)[at] != (*wanted)[at]) {
      std::string message = "meta.xml: '";
      message.append(rows.Value(row)).append("' does not read back as given");
      return Refused(FailureKind::InvalidValue, message);
    }
  }
  if (ReadCustom(meta) != catalogue::CustomAfterEdits(before, others)) {
    return Refused(FailureKind::InvalidValue, "meta.xml: the custom properties do not read back as given");
  }
  const std::vector<catalogue::OtherProperty> kept = ReadUserDefined(meta);
  for (const auto& [removed, key] : {std::pair{others.removeTemplate, "Template"}, {others.removeHyperlinkBase, "HyperlinkBase"}}) {
    const bool stays = std::any_of(kept.begin(), kept.end(), [key](const catalogue::OtherProperty& p) { return !p.custom && p.name == key; });
    if (removed && stays) return Refused(FailureKind::InvalidValue, std::string("meta.xml: ") + key + " is not removed");
  }

  std::vector<ooxml::PartUpdate> updates{{std::string(kMetaEntry), std::move(*saved)}};
  if (!present && !manifest->listsMeta) {
    Result<std::vector<std::uint8_t>> listed = ManifestListingMeta(package, part);
    if (!listed) return listed.outcome();
    updates.push_back({std::string(kManifestEntry), std::move(*listed)});
  }
  return updates;
}

class Format final : public ooxml::PackageFormat {
 public:
  Result<catalogue::PropertyTexts> ReadRows(zip::Package& package, xml::XmlDocument& part,
                                            const std::string& path) const override {
    auto rows = odf::ReadRows(package, part, path);
    part.Reset();  // no part is held between calls
    return rows;
  }
  Result<std::vector<catalogue::OtherProperty>> ReadOthers(zip::Package& package, xml::XmlDocument& part,
                                                           const std::string& path) const override {
    auto others = odf::ReadOthers(package, part, path);
    part.Reset();
    return others;
  }
  Result<std::vector<ooxml::PartUpdate>> Plan(zip::Package& package, xml::XmlDocument& part, const std::string& path,
                                              const catalogue::PropertyRows& rows,
                                              const catalogue::OtherEdits& others) const override {
    auto planned = odf::Plan(package, part, path, rows, others);
    part.Reset();
    return planned;
  }
};

}  // namespace

const ooxml::PackageFormat& OpenDocumentFormat() {
  static const Format format;
  return format;
}

std::unique_ptr<catalogue::PropertyDocument> OpenPackage(ooxml::PackageProperties& packages, fs::OpenResult opened,
                                                         const std::string& path) {
  return packages.Open(std::move(opened), path, OpenDocumentFormat());
}

}  // namespace kestrel::odf
