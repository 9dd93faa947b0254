#pragma once
// Extended attributes of a file, by path (a symbolic link counts by its target) or on a descriptor
// already open, telling "the file has none of that name" apart from "this file system keeps none
// at all".
// Nothing here throws except std::bad_alloc.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Outcome.h"

namespace kestrel::fs {

enum class AttributeLookup {
  Present,
  Absent,       // the file has no attribute of that name
  Unsupported,  // the file system keeps no attributes of that namespace
  Failed,       // the file is gone or cannot be asked
};

struct ExtendedAttribute {
  AttributeLookup lookup = AttributeLookup::Failed;
  std::vector<std::uint8_t> value;  // when Present
};

ExtendedAttribute ReadExtendedAttribute(const std::string& path, const char* name);
ExtendedAttribute ReadExtendedAttribute(int descriptor, const char* name);
// Failures (Io) carry the attribute's name and the system's words.
Outcome WriteExtendedAttribute(const std::string& path, const char* name, const std::vector<std::uint8_t>& value);
// Success also when there was none to remove.
Outcome RemoveExtendedAttribute(const std::string& path, const char* name);

}  // namespace kestrel::fs
