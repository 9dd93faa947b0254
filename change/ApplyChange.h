#pragma once
// The change of one document: its properties, its three file times and its four attribute bits,
// from the values of the single tab or of the batch tab.

#include <string>

#include "catalogue/ChangeChoices.h"
#include "catalogue/PropertyRows.h"
#include "ooxml/zip/PackageZip.h"
#include "platform/time/FileTime.h"
#include "platform/xml/XmlDocument.h"

namespace kestrel::change {

// The single tab's six pickers: each time is the date part of its date picker plus the time part
// of its time picker.
struct SinglePickers {
  time::LocalDateTime creationDate = 0, creationTime = 0;
  time::LocalDateTime lastWriteDate = 0, lastWriteTime = 0;
  time::LocalDateTime lastAccessDate = 0, lastAccessTime = 0;
};

// The two change flavours differ only in the values they carry, so a request is just those values:
// Single writes every row and sets the three times from the six pickers; Batch writes the included
// rows and changes a time only where one of its boxes is checked.
struct ChangeRequest {
  catalogue::PropertyRows rows;
  catalogue::FileTimeChoices times;
  catalogue::AttributeChoices attributes;

  static ChangeRequest Single(const std::array<std::string, catalogue::kRowCount>& values,
                              const SinglePickers& pickers, const catalogue::AttributeChoices& attributes);
  static ChangeRequest Batch(const catalogue::BatchValues& values);
};

// True when every property write succeeded; the times and attributes are then set (their outcome
// is not examined). A time whose boxes are all clear gets back the exact instant it had before the
// change. False when the document is missing, another program holds it open, its read-only bit
// cannot be cleared, a date text does not parse, or a property, statistics-block or package write
// fails; the document's recorded permission bits and attribute store are put back then, so a
// read-only document stays read-only. Never throws.
bool ApplyChange(zip::TPackageZip& myzip, xml::XmlDocument& axml, const std::string& path,
                 const ChangeRequest& request);

// The three local times set on the file opened exclusively, each through LocalDateTimeToFileTime.
// False when the file cannot be opened or a value cannot become a file time.
bool SetFileTimes(const std::string& path, time::LocalDateTime creation, time::LocalDateTime lastWrite,
                  time::LocalDateTime lastAccess);

}  // namespace kestrel::change
