#pragma once
// One parsed XML part at a time (the package relationships or a property part), read and edited
// in place and written back with everything it does not touch kept as it was.
// Only XmlError is thrown (std::bad_alloc aside): as each function says, and for an element name
// or prefix XML does not allow.

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

  // The first child element of the document element with this namespace and local name, whatever
  // prefix (or default namespace) the part writes it with. nullopt when there is none. Throws
  // XmlError when nothing is loaded, as do the three below.
  std::optional<XmlNode> FindChild(std::string_view namespaceUri, std::string_view localName) const;

  // Removes the child FindChild finds; false when there is none.
  bool RemoveChild(std::string_view namespaceUri, std::string_view localName);

  // Appends an element in this namespace as the last child of the document element, named with
  // the prefix the document element binds to the namespace (`suggestedPrefix` when that is one of
  // them, none when it is the default namespace there). When nothing binds it, `suggestedPrefix`,
  // or a numbered variant of it that is free, is declared on the document element.
  XmlNode AppendChild(std::string_view namespaceUri, std::string_view localName, std::string_view suggestedPrefix);

  // A prefix the document element binds to the namespace, declared there as AppendChild does when
  // none does; never the default namespace, which attribute names and QName values cannot use.
  std::string BindPrefix(std::string_view namespaceUri, std::string_view suggestedPrefix);

  // The whole part, declaration first, in the encoding it was loaded in. Throws XmlError when
  // nothing is loaded or a text cannot be held by that encoding.
  std::vector<std::uint8_t> Save() const;

 private:
  pugi::xml_node LoadedRoot() const;  // throws XmlError when nothing is loaded
  // The prefix to name a new child in the namespace with; nullopt when the document element binds
  // nothing to it. Empty for the default namespace, when `allowDefault`.
  std::optional<std::string> BoundPrefix(std::string_view namespaceUri, std::string_view suggestedPrefix,
                                         bool allowDefault) const;
  std::string DeclarePrefix(std::string_view namespaceUri, std::string_view suggestedPrefix);

  pugi::xml_document document_;
  XmlEncoding encoding_;
  bool loaded_ = false;
};

}  // namespace kestrel::xml
