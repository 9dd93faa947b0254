#include "platform/xml/XmlNode.h"

#include "platform/text/CodePage.h"
#include "platform/xml/XmlError.h"
#include "platform/xml/XmlWellFormedness.h"

namespace kestrel::xml {
namespace {

constexpr const char* kNotSingleTextNode = "Element does not contain a single text node";

bool IsText(const pugi::xml_node& node) {
  return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

// The only text or CDATA child; a null node for an element without children.
pugi::xml_node SingleTextChild(const pugi::xml_node& node) {
  const pugi::xml_node first = node.first_child();
  if (node.type() != pugi::node_element || (first && (first != node.last_child() || !IsText(first)))) {
    throw XmlError(kNotSingleTextNode);
  }
  return first;
}

}  // namespace

XmlNodeKind XmlNode::Kind() const {
  switch (node_.type()) {
    case pugi::node_pcdata: return XmlNodeKind::kText;
    case pugi::node_cdata: return XmlNodeKind::kCData;
    case pugi::node_comment: return XmlNodeKind::kComment;
    case pugi::node_pi: return XmlNodeKind::kProcessingInstruction;
    default: return XmlNodeKind::kElement;
  }
}

std::string XmlNode::Name() const {
  switch (Kind()) {
    case XmlNodeKind::kText: return "#text";
    case XmlNodeKind::kCData: return "#cdata-section";
    case XmlNodeKind::kComment: return "#comment";
    default: return node_.name();
  }
}

std::size_t XmlNode::ChildCount() const {
  std::size_t count = 0;
  for (auto child = node_.first_child(); child; child = child.next_sibling()) ++count;
  return count;
}

XmlNode XmlNode::Child(std::size_t index) const {
  auto child = node_.first_child();
  for (std::size_t i = 0; i < index && child; ++i) child = child.next_sibling();
  if (!child) throw XmlError("Child index " + std::to_string(index) + " out of range");
  return XmlNode(child);
}

std::vector<XmlNode> XmlNode::Children() const {
  std::vector<XmlNode> children;
  for (auto child = node_.first_child(); child; child = child.next_sibling()) children.emplace_back(child);
  return children;
}

std::optional<std::string> XmlNode::Attribute(std::string_view name) const {
  for (const pugi::xml_attribute& attribute : node_.attributes()) {
    if (name == attribute.name()) return std::string(attribute.value());
  }
  return std::nullopt;
}

std::string XmlNode::Text() const {
  const pugi::xml_node child = SingleTextChild(node_);
  return child ? child.value() : "";
}

void XmlNode::SetText(std::string_view text) {
  pugi::xml_node child = SingleTextChild(node_);
  // Refused here rather than written, since the saved part would not load again.
  if (!text::ToUtf8(text, text::kCodePageUtf8)) throw XmlError("Text is not valid UTF-8");
  CheckXmlCharacters(text);
  // pugixml writes "]]>" in a CDATA section as two sections, which would no longer be one text node.
  if (!child || (child.type() == pugi::node_cdata && text.find("]]>") != std::string_view::npos)) {
    const pugi::xml_node replaced = child;
    child = node_.append_child(pugi::node_pcdata);
    if (replaced) node_.remove_child(replaced);
  }
  child.set_value(text.data(), text.size());
}

}  // namespace kestrel::xml
