#include "ooxml/PackageProperties.h"

#include <optional>

#include "ooxml/OoxmlProperties.h"
#include "ooxml/zip/PackageZip.h"
#include "platform/fs/FileIo.h"
#include "platform/xml/XmlDocument.h"

namespace kestrel::ooxml {

// Real documents have property parts of some tens of kilobytes and at most a few hundred entries;
// a part is parsed whole and a directory held several times over in a rewrite, so these keep a
// hostile package far below the memory a change may take.
constexpr std::size_t kMaxPropertyPart = std::size_t{4} << 20;
constexpr zip::DirectoryLimits kDocumentDirectory{20000, std::uint64_t{4} << 20};

struct PackageProperties::Components {
  Components() {
    zip.SetMaxPartSize(kMaxPropertyPart);
    zip.SetDirectoryLimits(kDocumentDirectory);
  }
  zip::Package zip;
  xml::XmlDocument xml;
};

namespace {

class PackageDocument final : public catalogue::PropertyDocument {
 public:
  PackageDocument(zip::Package& zip, xml::XmlDocument& xml, const PackageFormat& format, fs::OpenResult opened,
                  std::string path)
      : zip_(zip), xml_(xml), format_(format), opened_(std::move(opened)), path_(std::move(path)) {}

  catalogue::DocumentRows Rows() override {
    if (!opened_.file) return {std::nullopt, fs::DescribeOpenError(opened_)};
    Result<PropertyTexts> texts = ThroughOpenFile([&] { return format_.ReadRows(zip_, xml_, path_); });
    if (!texts) return {std::nullopt, texts.outcome().Within("cannot be read as a package")};
    return {std::move(*texts), Outcome::Success()};
  }

  Result<std::vector<catalogue::OtherProperty>> OtherProperties() override {
    if (!opened_.file) return fs::DescribeOpenError(opened_);
    Result<std::vector<catalogue::OtherProperty>> others =
        ThroughOpenFile([&] { return format_.ReadOthers(zip_, xml_, path_); });
    if (!others) return others.outcome().Within("cannot be read as a package");
    return others;
  }

  Result<bool> Plan(const catalogue::PropertyRows& rows, const catalogue::OtherEdits& others) override {
    if (!opened_.file) return fs::DescribeOpenError(opened_);
    Result<std::vector<PartUpdate>> planned =
        ThroughOpenFile([&] { return format_.Plan(zip_, xml_, path_, rows, others); });
    if (!planned) return planned.outcome();
    updates_ = std::move(*planned);
    plannedOn_ = opened_.file->Identity();
    return !updates_.empty();
  }

  bool WritesNewFile() const override { return true; }

  Outcome Write(const fs::FileRecord& state, const fs::CommitSteps& steps) override {
    if (updates_.empty()) return Outcome::Success();
    std::vector<zip::EntryReplacement> replacements;
    for (const PartUpdate& update : updates_) replacements.push_back({update.name, update.bytes});
    const fs::FinalState finalState{state, true, path_};
    zip_.SetZipName(path_);
    // The package as it was read is rewritten: its lock made exclusive says when another program
    // holds it, and parts planned on one version of it must not go into another.
    const Result<int> stored = ThroughOpenFile([&] {
      return zip_.ReplaceEntriesFromMemory(replacements, {&finalState, plannedOn_ ? &*plannedOn_ : nullptr, steps});
    });
    opened_.file.reset();
    return stored ? Outcome::Success() : stored.outcome().Within("the package could not be rewritten");
  }

 private:
  // What `read` gives, the ZIP component reading through the descriptor the document was opened on.
  template <typename Read>
  auto ThroughOpenFile(Read read) -> decltype(read()) {
    zip_.ReadThrough(opened_.file.get());
    auto result = read();
    zip_.ReadThrough(nullptr);
    return result;
  }

  zip::Package& zip_;
  xml::XmlDocument& xml_;
  const PackageFormat& format_;
  fs::OpenResult opened_;
  std::string path_;
  std::vector<PartUpdate> updates_;
  std::optional<fs::FileIdentity> plannedOn_;
};

class OfficeFormat final : public PackageFormat {
 public:
  Result<PropertyTexts> ReadRows(zip::Package& package, xml::XmlDocument& part, const std::string& path) const override {
    return ReadOoxmlProperties(package, part, path);
  }
  Result<std::vector<catalogue::OtherProperty>> ReadOthers(zip::Package& package, xml::XmlDocument& part,
                                                           const std::string& path) const override {
    return ReadOtherOoxmlProperties(package, part, path);
  }
  Result<std::vector<PartUpdate>> Plan(zip::Package& package, xml::XmlDocument& part, const std::string& path,
                                       const catalogue::PropertyRows& rows,
                                       const catalogue::OtherEdits& others) const override {
    return PlanOoxmlProperties(package, part, path, rows, others);
  }
};

}  // namespace

const PackageFormat& OfficePackageFormat() {
  static const OfficeFormat format;
  return format;
}

PackageProperties::PackageProperties() : components_(std::make_unique<Components>()) {}
PackageProperties::~PackageProperties() = default;

std::unique_ptr<catalogue::PropertyDocument> PackageProperties::Open(fs::OpenResult opened, const std::string& path) {
  return Open(std::move(opened), path, OfficePackageFormat());
}

std::unique_ptr<catalogue::PropertyDocument> PackageProperties::Open(fs::OpenResult opened, const std::string& path,
                                                                     const PackageFormat& format) {
  return std::make_unique<PackageDocument>(components_->zip, components_->xml, format, std::move(opened), path);
}

}  // namespace kestrel::ooxml
