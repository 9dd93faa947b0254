#include "platform/storage/OpenOutcome.h"

#include "platform/fs/FileIo.h"

namespace kestrel::storage {

Outcome DescribeOpenError(OpenError error, const std::string& damage) {
  fs::OpenResult opened;
  switch (error) {
    case OpenError::None:
      return Outcome::Success();
    case OpenError::NotCompoundFile:
      return Outcome::Failure(FailureKind::NotADocument, "not a compound file, so not a Word document");
    case OpenError::Damaged:
      return Outcome::Failure(FailureKind::Damaged,
                              "damaged compound file: " + (damage.empty() ? "its sector tables do not hold together" : damage));
    case OpenError::NotFound:
      opened.error = fs::OpenError::NotFound;
      break;
    case OpenError::Locked:
      opened.error = fs::OpenError::Locked;
      break;
    case OpenError::ReadOnly:
      opened.error = fs::OpenError::ReadOnly;
      break;
    case OpenError::Io:
      return Outcome::Failure(FailureKind::Io, "the file could not be read");
  }
  // The file door's own words for what it refused.
  return fs::DescribeOpenError(opened);
}

}  // namespace kestrel::storage
