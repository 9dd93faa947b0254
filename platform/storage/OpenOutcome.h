#pragma once
// Why a compound file could not be opened, as an outcome the change path passes up.

#include "platform/Outcome.h"
#include "platform/storage/CompoundFile.h"

namespace kestrel::storage {

Outcome DescribeOpenError(OpenError error);

}  // namespace kestrel::storage
