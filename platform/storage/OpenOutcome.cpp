#include "platform/storage/OpenOutcome.h"

namespace kestrel::storage {

Outcome DescribeOpenError(OpenError error) {
  switch (error) {
    case OpenError::None:
      return Outcome::Success();
    case OpenError::NotFound:
      return Outcome::Failure(FailureKind::NotFound, "no such file");
    case OpenError::Locked:
      return Outcome::Failure(FailureKind::HeldOpen, "held open by another program");
    case OpenError::ReadOnly:
      return Outcome::Failure(FailureKind::ReadOnly, "read-only");
    case OpenError::NotCompoundFile:
      return Outcome::Failure(FailureKind::NotADocument, "not a compound file, so not a Word document");
    case OpenError::Damaged:
      return Outcome::Failure(FailureKind::Damaged, "damaged compound file: its sector tables do not hold together");
    case OpenError::Io:
      break;
  }
  return Outcome::Failure(FailureKind::Io, "the file could not be read");
}

}  // namespace kestrel::storage
