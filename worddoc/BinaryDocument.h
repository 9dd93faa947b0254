#pragma once
// A compound-file document (Word, Excel or PowerPoint) behind the one document interface: read
// through the descriptor it was opened with, its change planned in memory, then written in place.

#include <memory>
#include <optional>
#include <string>

#include "catalogue/PropertyDocument.h"
#include "platform/fs/FileIo.h"
#include "platform/storage/CompoundFile.h"

namespace kestrel::worddoc {

class BinaryDocument final : public catalogue::PropertyDocument {
 public:
  // `opened` is the document at `path` opened for reading, or why it could not be; `record` is its
  // state as it was opened, which a failed write puts back.
  BinaryDocument(fs::OpenResult opened, std::string path, fs::FileRecord record);
  ~BinaryDocument() override;

  // Always texts: what cannot be read is empty, and the editing time of a Word document comes
  // from its statistics block ("0" when that cannot be read; see BinaryPropertyRows.h). The
  // outcome says why the file could not be opened as a compound file at all.
  catalogue::DocumentRows Rows() override;
  Result<std::vector<catalogue::OtherProperty>> OtherProperties() override;
  Result<bool> Plan(const catalogue::PropertyRows& rows, const catalogue::OtherEdits& others) override;
  bool WritesNewFile() const override { return false; }
  // Opens the document for writing (the reading's lock given up first), gives it the new
  // attribute store in the same few calls, so a read-only document is writable only for that
  // instant, commits the rows planned again on what it holds now, and sets the times last.
  Outcome Write(const fs::FileRecord& state, const fs::CommitSteps& steps) override;

 private:
  // The compound file on the reading's descriptor, opened on first use; why it cannot be.
  Outcome OpenCompoundFile();

  std::string path_;
  fs::FileRecord record_;
  fs::OpenResult opened_;
  std::unique_ptr<storage::CompoundFile> file_;
  Outcome why_ = Outcome::Success();
  std::optional<catalogue::PropertyRows> planned_;
  catalogue::OtherEdits plannedOthers_;
};

}  // namespace kestrel::worddoc
