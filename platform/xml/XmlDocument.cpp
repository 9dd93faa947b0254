#include "platform/xml/XmlDocument.h"

#include <sstream>
#include <string>

#include "platform/xml/XmlError.h"
#include "platform/xml/XmlWellFormedness.h"

namespace kestrel::xml {
namespace {

// Whitespace-only text is kept only as an element's sole content (a value of blanks), so the
// layout between elements is dropped while values survive.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_pi | pugi::parse_comments |
                                   pugi::parse_declaration | pugi::parse_doctype | pugi::parse_ws_pcdata_single;

void Parse(pugi::xml_document& document, const std::string& utf8, unsigned options) {
  const pugi::xml_parse_result result = document.load_buffer(utf8.data(), utf8.size(), options, pugi::encoding_utf8);
  if (!result) {
    throw XmlError(std::string(result.description()) + " at offset " + std::to_string(result.offset));
  }
}

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
         c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

bool IsNcName(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9') || name[0] == '-' || name[0] == '.') return false;
  for (const char c : name) {
    if (!IsNameCharacter(c)) return false;
  }
  return true;
}

// Carriage returns in text as references: pugixml writes them raw, and a reader would turn them
// into line feeds. Elsewhere there are none to escape (attribute values have them as references
// already) or they must stay as written (comments, processing instructions, CDATA), so markup is
// skipped to its end; a ">" inside an attribute value ends the skip early but brings no "\r".
std::string EscapeCarriageReturnsInText(const std::string& utf8) {
  if (utf8.find('\r') == std::string::npos) return utf8;
  std::string escaped;
  escaped.reserve(utf8.size() + 16);
  std::size_t at = 0;
  while (at < utf8.size()) {
    if (utf8[at] == '<') {
      std::string_view end = ">";
      if (utf8.compare(at, 2, "<?") == 0) end = "?>";
      if (utf8.compare(at, 4, "<!--") == 0) end = "-->";
      if (utf8.compare(at, 9, "<![CDATA[") == 0) end = "]]>";
      const std::size_t found = utf8.find(end, at + 1);
      const std::size_t stop = found == std::string::npos ? utf8.size() : found + end.size();
      escaped.append(utf8, at, stop - at);
      at = stop;
    } else {
      if (utf8[at] == '\r') {
        escaped += "&#13;";
      } else {
        escaped += utf8[at];
      }
      ++at;
    }
  }
  return escaped;
}

}  // namespace

void XmlDocument::Reset() {
  document_.reset();
  encoding_ = {};
  loaded_ = false;
}

void XmlDocument::Load(std::span<const std::uint8_t> bytes) {
  Reset();
  const DecodedXml decoded = DecodeXmlBytes(bytes);
  CheckXmlCharacters(decoded.utf8);
  CheckXmlShape(decoded.utf8);
  {
    // Parsed once as written, references and stray top-level text still visible, for the checks.
    pugi::xml_document raw;
    Parse(raw, decoded.utf8, (kParseOptions | pugi::parse_fragment) & ~pugi::parse_escapes);
    CheckWellFormed(raw);
    // pugixml lets blanks precede the declaration; saved without them, its encoding would be read.
    if (raw.first_child().type() == pugi::node_declaration && !decoded.utf8.starts_with("<?xml")) {
      throw XmlError("XML declaration not at the start of the part");
    }
  }
  Parse(document_, decoded.utf8, kParseOptions);
  encoding_ = decoded.encoding;
  loaded_ = true;
}

pugi::xml_node XmlDocument::LoadedRoot() const {
  if (!loaded_) throw XmlError("No document loaded");
  return document_.document_element();
}

XmlNode XmlDocument::DocumentElement() const { return XmlNode(LoadedRoot()); }

std::optional<XmlNode> XmlDocument::AddChild(std::string_view qualifiedName) {
  pugi::xml_node root = LoadedRoot();
  std::string name(qualifiedName);
  std::string prefix;
  if (const std::size_t colon = qualifiedName.find(':'); colon != std::string_view::npos) {
    prefix = qualifiedName.substr(0, colon);
    if (!IsNcName(prefix) || !IsNcName(qualifiedName.substr(colon + 1))) {
      throw XmlError("Invalid element name " + name);
    }
  } else {
    if (!IsNcName(qualifiedName)) throw XmlError("Invalid element name " + name);
    const std::string_view rootName = root.name();
    if (const std::size_t rootColon = rootName.find(':'); rootColon != std::string_view::npos) {
      prefix = rootName.substr(0, rootColon);
      name = prefix + ":" + name;
    }
  }
  // Only the document element can bind it: it has no ancestor element.
  if (!prefix.empty() && !root.attribute(("xmlns:" + prefix).c_str())) return std::nullopt;
  return XmlNode(root.append_child(name.c_str()));
}

bool XmlDocument::RemoveChild(std::string_view name) {
  pugi::xml_node root = LoadedRoot();
  for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
    if (XmlNode(child).Name() == name) return root.remove_child(child);
  }
  return false;
}

std::optional<XmlNode> XmlDocument::FindChild(std::string_view namespaceUri, std::string_view localName) const {
  for (pugi::xml_node child = LoadedRoot().first_child(); child; child = child.next_sibling()) {
    const XmlNode node(child);
    if (child.type() == pugi::node_element && node.LocalName() == localName && node.NamespaceUri() == namespaceUri) {
      return node;
    }
  }
  return std::nullopt;
}

bool XmlDocument::RemoveChild(std::string_view namespaceUri, std::string_view localName) {
  const auto child = FindChild(namespaceUri, localName);
  return child && LoadedRoot().remove_child(child->node_);
}

std::optional<std::string> XmlDocument::BoundPrefix(std::string_view namespaceUri, std::string_view suggestedPrefix,
                                                    bool allowDefault) const {
  // Only the document element can bind it for a new child: it has no ancestor element.
  const pugi::xml_node root = LoadedRoot();
  std::optional<std::string> found;
  for (const pugi::xml_attribute& attribute : root.attributes()) {
    const std::string_view name = attribute.name();
    if (namespaceUri != attribute.value()) continue;
    if (name == "xmlns" && allowDefault && !found) found = "";
    if (!name.starts_with("xmlns:")) continue;
    const std::string_view prefix = name.substr(6);
    if (prefix == suggestedPrefix) return std::string(prefix);
    if (!found || found->empty()) found = std::string(prefix);
  }
  return found;
}

std::string XmlDocument::DeclarePrefix(std::string_view namespaceUri, std::string_view suggestedPrefix) {
  if (!IsNcName(suggestedPrefix) || suggestedPrefix.starts_with("xml")) {
    throw XmlError("Invalid namespace prefix " + std::string(suggestedPrefix));
  }
  pugi::xml_node root = LoadedRoot();
  std::string prefix(suggestedPrefix);
  for (int variant = 1; root.attribute(("xmlns:" + prefix).c_str()); ++variant) {
    prefix = std::string(suggestedPrefix) + std::to_string(variant);
  }
  root.append_attribute(("xmlns:" + prefix).c_str()).set_value(std::string(namespaceUri).c_str());
  return prefix;
}

XmlNode XmlDocument::AppendChild(std::string_view namespaceUri, std::string_view localName,
                                 std::string_view suggestedPrefix) {
  if (!IsNcName(localName)) throw XmlError("Invalid element name " + std::string(localName));
  // An element in no namespace is never asked for; it would need xmlns="" under a default.
  if (namespaceUri.empty()) throw XmlError("No namespace given for element " + std::string(localName));
  auto prefix = BoundPrefix(namespaceUri, suggestedPrefix, true);
  if (!prefix) prefix = DeclarePrefix(namespaceUri, suggestedPrefix);
  const std::string name = prefix->empty() ? std::string(localName) : *prefix + ":" + std::string(localName);
  return XmlNode(LoadedRoot().append_child(name.c_str()));
}

std::string XmlDocument::BindPrefix(std::string_view namespaceUri, std::string_view suggestedPrefix) {
  if (auto bound = BoundPrefix(namespaceUri, suggestedPrefix, false)) return *bound;
  return DeclarePrefix(namespaceUri, suggestedPrefix);
}

std::vector<std::uint8_t> XmlDocument::Save() const {
  LoadedRoot();
  std::ostringstream utf8;
  // No indentation, and no declaration added to a part that was written without one.
  document_.save(utf8, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  return EncodeXmlText(EscapeCarriageReturnsInText(utf8.str()), encoding_);
}

}  // namespace kestrel::xml
