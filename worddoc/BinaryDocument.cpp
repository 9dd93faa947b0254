#include "worddoc/BinaryDocument.h"

#include <new>

#include "platform/fs/PlannedFileState.h"
#include "worddoc/BinaryChange.h"
#include "worddoc/BinaryOtherProperties.h"
#include "worddoc/BinaryPropertyRows.h"

namespace kestrel::worddoc {

BinaryDocument::BinaryDocument(fs::OpenResult opened, std::string path, fs::FileRecord record)
    : path_(std::move(path)), record_(std::move(record)), opened_(std::move(opened)) {}

BinaryDocument::~BinaryDocument() = default;

Outcome BinaryDocument::OpenCompoundFile() {
  if (file_ || !why_) return why_;
  why_ = fs::DescribeOpenError(opened_);
  if (!opened_.file) return why_;
  auto file = storage::CompoundFile::Open(std::move(opened_.file), fs::OpenMode::Read);
  why_ = file.outcome();
  if (file) file_ = std::move(*file);
  return why_;
}

catalogue::DocumentRows BinaryDocument::Rows() {
  Outcome why = OpenCompoundFile();
  return ReadBinaryPropertyRows(file_.get(), std::move(why), path_);
}

Result<std::vector<catalogue::OtherProperty>> BinaryDocument::OtherProperties() {
  if (Outcome opened = OpenCompoundFile(); !opened) return opened;
  try {
    return ReadBinaryOtherProperties(*file_);
  } catch (const std::bad_alloc&) {
    return Outcome::Failure(FailureKind::Io, "not enough memory to read it");
  }
}

Result<bool> BinaryDocument::Plan(const catalogue::PropertyRows& rows, const catalogue::OtherEdits& others) {
  if (Outcome opened = OpenCompoundFile(); !opened) return opened;
  const Result<BinaryChangePlan> plan = PlanBinaryChange(*file_, rows, others);
  if (!plan) return plan.outcome();
  planned_ = rows;
  plannedOthers_ = others;
  try {
    return !plan->edits.Empty() || !plan->ReadsBack(*file_).ok();
  } catch (const std::bad_alloc&) {
    return true;  // the write itself says what memory allows
  }
}

Outcome BinaryDocument::Write(const fs::FileRecord& state, const fs::CommitSteps& steps) {
  file_.reset();  // the reading's shared lock would refuse our own exclusive one
  fs::OpenResult opened = fs::OpenFile(path_, fs::OpenMode::ReadWriteDespiteReadOnly);
  const bool writableOnceLifted =
      !opened.file && opened.error == fs::OpenFailure::ReadOnly && (record_.attributes & fs::kAttributeReadOnly) != 0;
  if (!opened.file && !writableOnceLifted) return fs::DescribeOpenError(opened);
  if (steps.beforeChange) {
    if (Outcome done = steps.beforeChange(); !done) return done;
  }
  Outcome stored = Outcome::Success();
  if (opened.file) {
    stored = fs::GiveFileStoreInPlace(path_, state);
  } else {
    stored = fs::GiveFileStoreInPlace(path_, state, [&] {
      opened = fs::OpenFile(path_, fs::OpenMode::ReadWrite);
      return fs::DescribeOpenError(opened);
    });
  }
  if (!stored) return stored;
  auto file = storage::CompoundFile::Open(std::move(opened.file), fs::OpenMode::ReadWrite);
  Outcome changed = !file       ? file.outcome()
                    : planned_  ? ChangeBinaryProperties(**file, *planned_, plannedOthers_)
                                : Outcome::Failure(FailureKind::InvalidValue, "no change was planned");
  if (!changed) {
    // What a failed write moved goes back: the times, then the store.
    if (file) (*file)->File().SetTimes(record_.times.lastAccess, record_.times.lastWrite);
    fs::GiveFileStoreInPlace(path_, record_);
    return changed;
  }
  if (!(*file)->File().SetTimes(state.times.lastAccess, state.times.lastWrite)) {
    return Outcome::Failure(FailureKind::Io, "was changed, but its times could not be set");
  }
  return Outcome::Success();
}

}  // namespace kestrel::worddoc
