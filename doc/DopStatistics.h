#pragma once
// The dates, revision count and editing time that a binary Word document keeps in its document
// properties block (DOP) besides the property sets: an 18-byte run at DOP offset 20 in the
// table stream ("0Table" or "1Table", as the FIB says).

#include <cstdint>
#include <string>

#include "catalogue/PropertyRows.h"
#include "platform/storage/CompoundFile.h"
#include "platform/time/FileTime.h"

namespace kestrel::doc {

struct DopDates {
  std::uint32_t created = 0;      // DTTM, local time
  std::uint32_t revised = 0;      // DTTM
  std::uint32_t lastPrinted = 0;  // DTTM; 0 means never printed
  std::uint16_t revisionCount = 0;
  std::int32_t editingMinutes = 0;
};

// Which fields WriteDopDates replaces; the file keeps the others.
struct DopWriteMask {
  bool created = false;
  bool revised = false;
  bool lastPrinted = false;
  bool revisionCount = false;
  bool editingMinutes = false;
};

// The editing time in minutes, or 0 when it cannot be read.
std::int32_t ReadEditingMinutes(const std::string& path);
std::int32_t ReadEditingMinutes(const storage::CompoundFile& file);

// True when the block was written. False, with the file unchanged, when it is not a compound
// file, is held by another program, lacks its streams, or its DOP is shorter than the block
// needs or lies outside the table stream.
bool WriteDopDates(const std::string& path, const DopDates& dates, const DopWriteMask& mask);

// A local date-time as a DTTM (seconds dropped, weekday 0); 0 for years outside 1900 to 2411,
// which a DTTM cannot hold.
std::uint32_t PackDttm(time::LocalDateTime value);

// The block and mask from a property list: rows 10, 11 and 13 as dates (an empty row 13 means
// never printed), row 6 as the revision count (3 when not a number), row 12 as minutes (0 when
// not a number); the included rows are the mask. False when an included date does not parse.
bool BuildDopDates(const std::string& path, const catalogue::PropertyRows& rows);

}  // namespace kestrel::doc
