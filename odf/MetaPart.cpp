#include "odf/MetaPart.h"

namespace kestrel::odf {

namespace {

bool Is(const xml::XmlNode& node, std::string_view namespaceUri, std::string_view localName) {
  return node.Kind() == xml::XmlNodeKind::Element && node.LocalName() == localName && node.NamespaceUri() == namespaceUri;
}

}  // namespace

std::string EmptyMetaPart(std::string_view version) {
  std::string part = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-meta xmlns:office=\"";
  part.append(kOfficeNamespace).append("\" xmlns:meta=\"").append(kMetaNamespace);
  part.append("\" xmlns:dc=\"").append(kDcNamespace).append("\" xmlns:xlink=\"").append(kXlinkNamespace);
  part.append("\" office:version=\"").append(version).append("\"><office:meta/></office:document-meta>");
  return part;
}

Outcome MetaPart::CheckDocumentElement() const {
  const xml::XmlNode root = document_.DocumentElement();
  if (Is(root, kOfficeNamespace, "document-meta")) return Outcome::Success();
  std::string message = "the document element is ";
  message.append(root.Name()).append(" in namespace '").append(root.NamespaceUri()).append("', not office:document-meta");
  return Outcome::Failure(FailureKind::Unsupported, std::move(message));
}

std::optional<xml::XmlNode> MetaPart::Meta() const { return document_.FindChild(kOfficeNamespace, "meta"); }

Result<xml::XmlNode> MetaPart::MetaForWriting() {
  if (std::optional<xml::XmlNode> meta = Meta()) return *meta;
  return document_.AppendChild(kOfficeNamespace, "meta", "office");
}

std::vector<xml::XmlNode> MetaPart::Elements(std::string_view namespaceUri, std::string_view localName) const {
  std::vector<xml::XmlNode> found;
  for (const xml::XmlNode& child : AllElements()) {
    if (Is(child, namespaceUri, localName)) found.push_back(child);
  }
  return found;
}

std::vector<xml::XmlNode> MetaPart::AllElements() const {
  std::vector<xml::XmlNode> elements;
  const std::optional<xml::XmlNode> meta = Meta();
  if (!meta) return elements;
  for (const xml::XmlNode& child : meta->Children()) {
    if (child.Kind() == xml::XmlNodeKind::Element) elements.push_back(child);
  }
  return elements;
}

Result<xml::XmlNode> MetaPart::Append(std::string_view namespaceUri, std::string_view localName, std::string_view prefix) {
  Result<xml::XmlNode> meta = MetaForWriting();
  if (!meta) return meta.outcome();
  const Result<std::string> bound = document_.BindPrefix(namespaceUri, prefix);
  if (!bound) return bound.outcome();
  std::string name = *bound;
  name.append(":").append(localName);
  return meta->AppendElement(name);
}

bool MetaPart::RemoveAll(std::string_view namespaceUri, std::string_view localName) {
  bool removed = false;
  for (const xml::XmlNode& element : Elements(namespaceUri, localName)) removed = Remove(element) || removed;
  return removed;
}

bool MetaPart::Remove(const xml::XmlNode& element) {
  std::optional<xml::XmlNode> meta = Meta();
  return meta && meta->RemoveChild(element);
}

Result<std::string> MetaPart::AttributeName(std::string_view namespaceUri, std::string_view suggestedPrefix,
                                            std::string_view localName) {
  Result<std::string> prefix = document_.BindPrefix(namespaceUri, suggestedPrefix);
  if (!prefix) return prefix.outcome();
  prefix->append(":").append(localName);
  return prefix;
}

std::optional<std::string> OwnAttribute(const xml::XmlNode& element, std::string_view localName) {
  const std::string name = element.Name();
  const std::size_t colon = name.find(':');
  std::string qualified = colon == std::string::npos ? std::string() : name.substr(0, colon + 1);
  qualified.append(localName);
  return element.Attribute(qualified);
}

}  // namespace kestrel::odf
