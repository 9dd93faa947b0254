#pragma once
// A node of an XmlDocument: the document element or one of its descendants. A light handle; it is
// valid only while its document holds the part it came from (until the next Reset or Load).
// Failures are answers, as each function says: nothing here throws except std::bad_alloc.

#include <pugixml.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Outcome.h"

namespace kestrel::xml {

enum class XmlNodeKind { Element, Text, CData, Comment, ProcessingInstruction };

class XmlNode {
 public:
  explicit XmlNode(pugi::xml_node node) : node_(node) {}

  XmlNodeKind Kind() const;
  // The qualified name as written, prefix included; "#text", "#cdata-section" and "#comment" for
  // the nodes that have none, and the target of a processing instruction.
  std::string Name() const;
  // The name without its prefix, and the namespace that prefix (or, for an unprefixed element,
  // the default namespace) is bound to where the node stands; empty when nothing binds it.
  std::string LocalName() const;
  std::string NamespaceUri() const;

  // The child nodes in document order; white space between elements is not among them.
  std::size_t ChildCount() const;
  Result<XmlNode> Child(std::size_t index) const;  // InvalidValue when out of range
  std::vector<XmlNode> Children() const;

  std::optional<std::string> Attribute(std::string_view name) const;
  // Every attribute as (qualified name, value), in document order, namespace declarations included.
  std::vector<std::pair<std::string, std::string>> Attributes() const;
  // Sets the attribute with this qualified name, appending it when the element has none. The
  // caller binds its prefix. InvalidValue for a value XML cannot hold (as CheckText).
  Outcome SetAttribute(std::string_view qualifiedName, std::string_view value);

  // Appends a child element with this qualified name; the caller binds its prefix. InvalidValue for
  // a name XML does not allow.
  Result<XmlNode> AppendElement(std::string_view qualifiedName);
  // Removes one child node of this one; false when it is not one.
  bool RemoveChild(const XmlNode& child);
  // Removes every child node: the element ends empty, its attributes kept.
  void RemoveChildren();

  // The value of the only text or CDATA child, or empty for an element without children.
  // Unsupported ("Element does not contain a single text node") for anything else.
  Result<std::string> Text() const;
  // Same rule as Text; an element without children gets a text node. Attributes stay.
  // InvalidValue when the text is not valid UTF-8 or holds what no part could hold; the element
  // is then left as it was.
  Outcome SetText(std::string_view text);

  // InvalidValue, with the reason, for text that is not valid UTF-8 or holds a character XML
  // does not allow (control characters other than tab, line feed and carriage return, U+FFFE,
  // U+FFFF), so callers can refuse a value before they change anything.
  static Outcome CheckText(std::string_view text);

 private:
  friend class XmlDocument;  // removes the node it found

  pugi::xml_node node_;
};

}  // namespace kestrel::xml
