#pragma once
// A node of an XmlDocument: the document element or one of its descendants. A light handle; it is
// valid only while its document holds the part it came from (until the next Reset or Load).

#include <pugixml.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::xml {

enum class XmlNodeKind { kElement, kText, kCData, kComment, kProcessingInstruction };

class XmlNode {
 public:
  explicit XmlNode(pugi::xml_node node) : node_(node) {}

  XmlNodeKind Kind() const;
  // The qualified name as written, prefix included; "#text", "#cdata-section" and "#comment" for
  // the nodes that have none, and the target of a processing instruction.
  std::string Name() const;

  // The child nodes in document order; white space between elements is not among them.
  std::size_t ChildCount() const;
  XmlNode Child(std::size_t index) const;  // throws XmlError when out of range
  std::vector<XmlNode> Children() const;

  std::optional<std::string> Attribute(std::string_view name) const;

  // The value of the only text or CDATA child, or empty for an element without children.
  // Throws XmlError("Element does not contain a single text node") for anything else.
  std::string Text() const;
  // Same rule as Text; an element without children gets a text node. Attributes stay.
  void SetText(std::string_view text);

 private:
  pugi::xml_node node_;
};

}  // namespace kestrel::xml
