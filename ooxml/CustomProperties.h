#pragma once
// The custom-properties part of a package (docProps/custom.xml): its properties read as the
// catalogue shows them and edited in place, everything else of the part kept; and the readable
// text of the other parts' elements that hold more than text. Nothing here throws except
// std::bad_alloc.

#include <string>
#include <vector>

#include "catalogue/OtherProperties.h"
#include "platform/Outcome.h"
#include "platform/xml/XmlDocument.h"

namespace kestrel::ooxml {

// A part holding no property, in the namespaces of transitional or of Strict packages.
std::string EmptyCustomPart(bool strict);

// The properties of the loaded custom part in stored order. Text, numbers, dates and yes/no are
// read as their catalogue types; a value of any other type, or one its type cannot read, keeps
// its stored type ("vt:vector") and shows as ReadableValue. Unsupported when the document element
// is not the part's.
Result<std::vector<catalogue::OtherProperty>> ReadCustomProperties(const xml::XmlDocument& part);

// Applies the custom edits of `edits` to the loaded part as catalogue::CustomAfterEdits describes
// them: a new property is appended with the next free pid, a set one gets the new type element
// in place of the old. True when anything changed: setting a property to what it shows already
// is no change. InvalidValue for an empty name or a name or text XML cannot hold.
Result<bool> ApplyCustomEdits(xml::XmlDocument& part, const catalogue::OtherEdits& edits);

// What an element of a property part holds, shown short: its text, or the text items of a vector
// joined by ", ", or the size of binary data.
std::string ReadableValue(const xml::XmlNode& element);

// "text" for an element holding text, else "vt:<name>" of the typed value inside it.
std::string StoredTypeOf(const xml::XmlNode& element);

}  // namespace kestrel::ooxml
