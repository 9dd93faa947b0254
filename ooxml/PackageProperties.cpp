#include "ooxml/PackageProperties.h"

#include <optional>

#include "ooxml/OoxmlProperties.h"
#include "ooxml/zip/PackageZip.h"
#include "platform/fs/FileIo.h"
#include "platform/xml/XmlDocument.h"

namespace kestrel::ooxml {

struct PackageProperties::Components {
  zip::Package zip;
  xml::XmlDocument xml;
};

namespace {

class PackageDocument final : public catalogue::PropertyDocument {
 public:
  PackageDocument(zip::Package& zip, xml::XmlDocument& xml, fs::OpenResult opened, std::string path)
      : zip_(zip), xml_(xml), opened_(std::move(opened)), path_(std::move(path)) {}

  catalogue::DocumentRows Rows() override {
    if (!opened_.file) return {std::nullopt, fs::DescribeOpenError(opened_)};
    zip_.ReadThrough(opened_.file.get());
    Result<PropertyTexts> texts = ReadOoxmlProperties(zip_, xml_, path_);
    zip_.ReadThrough(nullptr);
    if (!texts) return {std::nullopt, texts.outcome().Within("cannot be read as a package")};
    return {std::move(*texts), Outcome::Success()};
  }

  Result<bool> Plan(const catalogue::PropertyRows& rows) override {
    if (!opened_.file) return fs::DescribeOpenError(opened_);
    zip_.ReadThrough(opened_.file.get());
    Result<std::vector<PartUpdate>> planned = PlanOoxmlProperties(zip_, xml_, path_, rows);
    zip_.ReadThrough(nullptr);
    if (!planned) return planned.outcome();
    updates_ = std::move(*planned);
    return !updates_.empty();
  }

  bool WritesNewFile() const override { return true; }

  Outcome Write(const fs::FileRecord& state) override {
    opened_.file.reset();  // the reading's shared lock would refuse the rewrite's exclusive one
    if (updates_.empty()) return Outcome::Success();
    std::vector<zip::EntryReplacement> replacements;
    for (const PartUpdate& update : updates_) replacements.push_back({update.name, update.bytes});
    const fs::FinalState finalState{state, true, path_};
    zip_.SetZipName(path_);
    const Result<int> stored = zip_.ReplaceEntriesFromMemory(replacements, &finalState);
    // The rewrite's own open says when another program holds the package.
    return stored ? Outcome::Success() : stored.outcome().Within("the package could not be rewritten");
  }

 private:
  zip::Package& zip_;
  xml::XmlDocument& xml_;
  fs::OpenResult opened_;
  std::string path_;
  std::vector<PartUpdate> updates_;
};

}  // namespace

PackageProperties::PackageProperties() : components_(std::make_unique<Components>()) {}
PackageProperties::~PackageProperties() = default;

std::unique_ptr<catalogue::PropertyDocument> PackageProperties::Open(fs::OpenResult opened, const std::string& path) {
  return std::make_unique<PackageDocument>(components_->zip, components_->xml, std::move(opened), path);
}

}  // namespace kestrel::ooxml
