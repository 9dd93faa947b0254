#include "platform/storage/OpenOutcome.h"

#include "platform/fs/FileIo.h"

namespace kestrel::storage {

Outcome DescribeOpenError(CompoundFileOpenError error, const std::string& damage) {
  fs::OpenResult opened;
  switch (error) {
    case CompoundFileOpenError::None:
      return Outcome::Success();
    case CompoundFileOpenError::NotCompoundFile:
      return Outcome::Failure(FailureKind::NotADocument, "not a compound file, so not a binary Office document");
    case CompoundFileOpenError::Damaged:
      return Outcome::Failure(FailureKind::Damaged,
                              "damaged compound file: " + (damage.empty() ? "its sector tables do not hold together" : damage));
    case CompoundFileOpenError::NotFound:
      opened.error = fs::OpenFailure::NotFound;
      break;
    case CompoundFileOpenError::Locked:
      opened.error = fs::OpenFailure::Locked;
      break;
    case CompoundFileOpenError::ReadOnly:
      opened.error = fs::OpenFailure::ReadOnly;
      break;
    case CompoundFileOpenError::Io:
      return Outcome::Failure(FailureKind::Io, "the file could not be read");
  }
  // The file door's own words for what it refused.
  return fs::DescribeOpenError(opened);
}

}  // namespace kestrel::storage
