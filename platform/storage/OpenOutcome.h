#pragma once
// Why a compound file could not be opened, as an outcome the change path passes up.
// Nothing here throws except std::bad_alloc.

#include <string>

#include "platform/Outcome.h"
#include "platform/storage/CompoundFile.h"

namespace kestrel::storage {

// `damage` is what Open said about a Damaged file, when it said something.
Outcome DescribeOpenError(CompoundFileOpenError error, const std::string& damage = {});

}  // namespace kestrel::storage
