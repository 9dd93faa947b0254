#pragma once
// One parsed XML part at a time (the package relationships or a property part), read and edited
// in place and written back with everything it does not touch kept as it was.
// Failures are answers, as each function says: nothing here throws except std::bad_alloc.

#include <pugixml.hpp>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Outcome.h"
#include "platform/xml/XmlEncoding.h"
#include "platform/xml/XmlNode.h"

namespace kestrel::xml {

class XmlDocument {
 public:
  // Drops the part; the document is empty until the next Load.
  void Reset();
  bool IsLoaded() const { return loaded_; }

  // Parses the bytes in the encoding of their byte-order mark or declaration. A part with a
  // document type declaration is refused, so no entity is ever resolved or expanded. Damaged,
  // with the reason and for the parser's own its offset, when the part is not well-formed
  // (Unsupported for an encoding it names that we do not know); Io when memory runs out. The
  // document is then empty.
  Outcome Load(std::span<const std::uint8_t> bytes);

  // An empty node (no name, no children, no attributes) when nothing is loaded.
  XmlNode DocumentElement() const;

  // The first child element of the document element with this namespace and local name, whatever
  // prefix (or default namespace) the part writes it with. nullopt when there is none, or
  // nothing is loaded.
  std::optional<XmlNode> FindChild(std::string_view namespaceUri, std::string_view localName) const;

  // Removes the child FindChild finds; false when there is none.
  bool RemoveChild(std::string_view namespaceUri, std::string_view localName);

  // Appends an element in this namespace as the last child of the document element, named with
  // the prefix the document element binds to the namespace (`suggestedPrefix` when that is one of
  // them, none when it is the default namespace there). When nothing binds it, `suggestedPrefix`,
  // or a numbered variant of it that is free, is declared on the document element. InvalidValue
  // for a name or prefix XML does not allow, or no namespace; Damaged when nothing is loaded.
  Result<XmlNode> AppendChild(std::string_view namespaceUri, std::string_view localName,
                              std::string_view suggestedPrefix);

  // A prefix the document element binds to the namespace, declared there as AppendChild does when
  // none does; never the default namespace, which attribute names and QName values cannot use.
  // Fails as AppendChild does.
  Result<std::string> BindPrefix(std::string_view namespaceUri, std::string_view suggestedPrefix);

  // The whole part, declaration first, in the encoding it was loaded in. InvalidValue when a text
  // cannot be held by that encoding; Damaged when nothing is loaded; Io when memory runs out.
  Result<std::vector<std::uint8_t>> Save() const;

 private:
  // The document element; Damaged when nothing is loaded.
  Result<pugi::xml_node> LoadedRoot() const;
  // Load without the reset before it and the one after a failure.
  Outcome Parse(std::span<const std::uint8_t> bytes);

  pugi::xml_document document_;
  XmlEncoding encoding_;
  bool loaded_ = false;
};

}  // namespace kestrel::xml
