#include "platform/xml/XmlNode.h"

#include <algorithm>

#include "platform/text/CodePage.h"
#include "platform/xml/XmlWellFormedness.h"

namespace kestrel::xml {
namespace {

constexpr const char* kNotSingleTextNode = "Element does not contain a single text node";

bool IsText(const pugi::xml_node& node) {
  return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

// The only text or CDATA child; a null node for an element without children.
Result<pugi::xml_node> SingleTextChild(const pugi::xml_node& node) {
  const pugi::xml_node first = node.first_child();
  if (node.type() != pugi::node_element || (first && (first != node.last_child() || !IsText(first)))) {
    return Outcome::Failure(FailureKind::Unsupported, kNotSingleTextNode);
  }
  return first;
}

constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

std::string_view PrefixOf(std::string_view name) {
  const std::size_t colon = name.find(':');
  return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
}

bool IsNcName(std::string_view name) {
  const auto nameCharacter = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.' || static_cast<unsigned char>(c) >= 0x80;
  };
  if (name.empty() || (name[0] >= '0' && name[0] <= '9') || name[0] == '-' || name[0] == '.') return false;
  return std::all_of(name.begin(), name.end(), nameCharacter);
}

}  // namespace

XmlNodeKind XmlNode::Kind() const {
  switch (node_.type()) {
    case pugi::node_pcdata: return XmlNodeKind::Text;
    case pugi::node_cdata: return XmlNodeKind::CData;
    case pugi::node_comment: return XmlNodeKind::Comment;
    case pugi::node_pi: return XmlNodeKind::ProcessingInstruction;
    default: return XmlNodeKind::Element;
  }
}

std::string XmlNode::Name() const {
  switch (Kind()) {
    case XmlNodeKind::Text: return "#text";
    case XmlNodeKind::CData: return "#cdata-section";
    case XmlNodeKind::Comment: return "#comment";
    default: return node_.name();
  }
}

std::string XmlNode::LocalName() const {
  const std::string name = Name();
  const std::size_t colon = name.find(':');
  return colon == std::string::npos ? name : name.substr(colon + 1);
}

std::string XmlNode::NamespaceUri() const {
  if (Kind() != XmlNodeKind::Element) return {};
  const std::string_view prefix = PrefixOf(node_.name());
  if (prefix == "xml") return std::string(kXmlNamespace);
  const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
  // The nearest declaration wins; Load has refused parts that use a prefix nothing binds.
  for (pugi::xml_node element = node_; element.type() == pugi::node_element; element = element.parent()) {
    if (const pugi::xml_attribute bound = element.attribute(declaration.c_str())) return bound.value();
  }
  return {};
}

std::size_t XmlNode::ChildCount() const {
  std::size_t count = 0;
  for (auto child = node_.first_child(); child; child = child.next_sibling()) ++count;
  return count;
}

Result<XmlNode> XmlNode::Child(std::size_t index) const {
  auto child = node_.first_child();
  for (std::size_t i = 0; i < index && child; ++i) child = child.next_sibling();
  if (!child) return Outcome::Failure(FailureKind::InvalidValue, "Child index " + std::to_string(index) + " out of range");
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

std::vector<std::pair<std::string, std::string>> XmlNode::Attributes() const {
  std::vector<std::pair<std::string, std::string>> attributes;
  for (const pugi::xml_attribute& attribute : node_.attributes()) attributes.emplace_back(attribute.name(), attribute.value());
  return attributes;
}

Outcome XmlNode::SetAttribute(std::string_view qualifiedName, std::string_view value) {
  if (Outcome checked = CheckText(value); !checked) return checked;
  const std::string name(qualifiedName);
  pugi::xml_attribute attribute = node_.attribute(name.c_str());
  if (!attribute) attribute = node_.append_attribute(name.c_str());
  attribute.set_value(std::string(value).c_str());
  return Outcome::Success();
}

Result<XmlNode> XmlNode::AppendElement(std::string_view qualifiedName) {
  const std::string_view prefix = PrefixOf(qualifiedName);
  const std::string_view local = prefix.empty() ? qualifiedName : qualifiedName.substr(prefix.size() + 1);
  const bool validName = IsNcName(local) && (prefix.empty() || IsNcName(prefix));
  if (!validName || node_.type() != pugi::node_element) {
    return Outcome::Failure(FailureKind::InvalidValue, "Invalid element name " + std::string(qualifiedName));
  }
  return XmlNode(node_.append_child(std::string(qualifiedName).c_str()));
}

bool XmlNode::RemoveChild(const XmlNode& child) { return child.node_.parent() == node_ && node_.remove_child(child.node_); }

void XmlNode::RemoveChildren() {
  while (node_.first_child()) node_.remove_child(node_.first_child());
}

Outcome XmlNode::CheckText(std::string_view text) {
  // Refused here rather than written, since the saved part would not load again.
  if (!text::ToUtf8(text, text::kCodePageUtf8)) return Outcome::Failure(FailureKind::InvalidValue, "Text is not valid UTF-8");
  const Outcome checked = CheckXmlCharacters(text);
  if (!checked) return Outcome::Failure(FailureKind::InvalidValue, checked.message());
  return checked;
}

Result<std::string> XmlNode::Text() const {
  const Result<pugi::xml_node> child = SingleTextChild(node_);
  if (!child) return child.outcome();
  return std::string(*child ? child->value() : "");
}

Outcome XmlNode::SetText(std::string_view text) {
  Result<pugi::xml_node> single = SingleTextChild(node_);
  if (!single) return single.outcome();
  if (Outcome checked = CheckText(text); !checked) return checked;
  pugi::xml_node child = *single;
  // pugixml writes "]]>" in a CDATA section as two sections, which would no longer be one text node.
  // Nor can a CDATA section keep a carriage return: readers turn it into a line feed.
  const bool cdataCannotHold =
      text.find("]]>") != std::string_view::npos || text.find('\r') != std::string_view::npos;
  if (!child || (child.type() == pugi::node_cdata && cdataCannotHold)) {
    const pugi::xml_node replaced = child;
    child = node_.append_child(pugi::node_pcdata);
    if (replaced) node_.remove_child(replaced);
  }
  child.set_value(text.data(), text.size());
  return Outcome::Success();
}

}  // namespace kestrel::xml
