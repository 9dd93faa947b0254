#pragma once
// One parsed XML part at a time (the package relationships or a property part), read and edited
// in place and written back with everything it does not touch kept as it was.

#include <pugixml.hpp>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/xml/XmlEncoding.h"
#include "platform/xml/XmlNode.h"

namespace kestrel::xml {

class XmlDocument {
 public:
  // Drops the part; the document is empty until the next Load.
  void Reset();
  bool IsLoaded() const { return loaded_; }

  // Parses the bytes in the encoding of their byte-order mark or declaration. A part with a
  // document type declaration is refused, so no entity is ever resolved or expanded. Throws
  // XmlError when the part is not well-formed; the document is then empty.
  void Load(std::span<const std::uint8_t> bytes);

  // Throws XmlError when nothing is loaded.
  XmlNode DocumentElement() const;

  // Appends an element as the last child of the document element. An unprefixed name takes the
  // document element's prefix. nullopt when the prefix is not declared on the document element.
  std::optional<XmlNode> AddChild(std::string_view qualifiedName);

  // Removes the first child of the document element with this name; false when there is none.
  bool RemoveChild(std::string_view name);

  // The whole part, declaration first, in the encoding it was loaded in. Throws XmlError when
  // nothing is loaded or a text cannot be held by that encoding.
  std::vector<std::uint8_t> Save() const;

 private:
  pugi::xml_node LoadedRoot() const;  // throws XmlError when nothing is loaded

  pugi::xml_document document_;
  XmlEncoding encoding_;
  bool loaded_ = false;
};

}  // namespace kestrel::xml
