#include "platform/xml/XmlDocument.h"

#include <new>
#include <sstream>
#include <string>

#include "platform/xml/XmlWellFormedness.h"

namespace kestrel::xml {
namespace {

// Whitespace-only text is kept only as an element's sole content (a value of blanks), so the
// layout between elements is dropped while values survive.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_pi | pugi::parse_comments |
                                   pugi::parse_declaration | pugi::parse_doctype | pugi::parse_ws_pcdata_single;

Outcome ParseText(pugi::xml_document& document, const std::string& utf8, unsigned options) {
  const pugi::xml_parse_result result = document.load_buffer(utf8.data(), utf8.size(), options, pugi::encoding_utf8);
  if (!result) {
    return Outcome::Failure(FailureKind::Damaged,
                            std::string(result.description()) + " at offset " + std::to_string(result.offset));
  }
  return Outcome::Success();
}

constexpr const char* kNoMemoryToSave = "not enough memory to save the part";

Outcome InvalidValue(std::string message) { return Outcome::Failure(FailureKind::InvalidValue, std::move(message)); }

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

// The prefix to name a new child in the namespace with; nullopt when the document element binds
// nothing to it. Empty for the default namespace, when `allowDefault`.
std::optional<std::string> BoundPrefix(const pugi::xml_node& root, std::string_view namespaceUri,
                                       std::string_view suggestedPrefix, bool allowDefault) {
  // Only the document element can bind it for a new child: it has no ancestor element.
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

Result<std::string> DeclarePrefix(pugi::xml_node root, std::string_view namespaceUri, std::string_view suggestedPrefix) {
  if (!IsNcName(suggestedPrefix) || suggestedPrefix.starts_with("xml")) {
    return InvalidValue("Invalid namespace prefix " + std::string(suggestedPrefix));
  }
  std::string prefix(suggestedPrefix);
  for (int variant = 1; root.attribute(("xmlns:" + prefix).c_str()); ++variant) {
    prefix = std::string(suggestedPrefix) + std::to_string(variant);
  }
  root.append_attribute(("xmlns:" + prefix).c_str()).set_value(std::string(namespaceUri).c_str());
  return prefix;
}

}  // namespace

void XmlDocument::Reset() {
  document_.reset();
  encoding_ = {};
  loaded_ = false;
}

Outcome XmlDocument::Load(std::span<const std::uint8_t> bytes) {
  Reset();
  Outcome loaded = Outcome::Success();
  // The part's text and its nodes are the bulk of what a reading holds in memory.
  try {
    loaded = Parse(bytes);
  } catch (const std::bad_alloc&) {
    loaded = Outcome::Failure(FailureKind::Io, "not enough memory to load the part");
  }
  if (!loaded) Reset();
  return loaded;
}

Outcome XmlDocument::Parse(std::span<const std::uint8_t> bytes) {
  const Result<DecodedXml> decoded = DecodeXmlBytes(bytes);
  if (!decoded) return decoded.outcome();
  if (Outcome checked = CheckXmlCharacters(decoded->utf8); !checked) return checked;
  if (Outcome checked = CheckXmlShape(decoded->utf8); !checked) return checked;
  {
    // Parsed once as written, references and stray top-level text still visible, for the checks.
    pugi::xml_document raw;
    if (Outcome parsed = ParseText(raw, decoded->utf8, (kParseOptions | pugi::parse_fragment) & ~pugi::parse_escapes); !parsed) {
      return parsed;
    }
    if (Outcome checked = CheckWellFormed(raw); !checked) return checked;
    // pugixml lets blanks precede the declaration; saved without them, its encoding would be read.
    if (raw.first_child().type() == pugi::node_declaration && !decoded->utf8.starts_with("<?xml")) {
      return Outcome::Failure(FailureKind::Damaged, "XML declaration not at the start of the part");
    }
  }
  if (Outcome parsed = ParseText(document_, decoded->utf8, kParseOptions); !parsed) return parsed;
  encoding_ = decoded->encoding;
  loaded_ = true;
  return Outcome::Success();
}

Result<pugi::xml_node> XmlDocument::LoadedRoot() const {
  if (!loaded_) return Outcome::Failure(FailureKind::Damaged, "No document loaded");
  return document_.document_element();
}

// A null handle when nothing is loaded: pugixml answers every question about it with nothing.
XmlNode XmlDocument::DocumentElement() const { return XmlNode(document_.document_element()); }

std::optional<XmlNode> XmlDocument::FindChild(std::string_view namespaceUri, std::string_view localName) const {
  for (pugi::xml_node child = document_.document_element().first_child(); child; child = child.next_sibling()) {
    const XmlNode node(child);
    if (child.type() == pugi::node_element && node.LocalName() == localName && node.NamespaceUri() == namespaceUri) {
      return node;
    }
  }
  return std::nullopt;
}

bool XmlDocument::RemoveChild(std::string_view namespaceUri, std::string_view localName) {
  const auto child = FindChild(namespaceUri, localName);
  return child && document_.document_element().remove_child(child->node_);
}

Result<XmlNode> XmlDocument::AppendChild(std::string_view namespaceUri, std::string_view localName,
                                         std::string_view suggestedPrefix) {
  if (!IsNcName(localName)) return InvalidValue("Invalid element name " + std::string(localName));
  // An element in no namespace is never asked for; it would need xmlns="" under a default.
  if (namespaceUri.empty()) return InvalidValue("No namespace given for element " + std::string(localName));
  Result<pugi::xml_node> root = LoadedRoot();
  if (!root) return root.outcome();
  std::optional<std::string> prefix = BoundPrefix(*root, namespaceUri, suggestedPrefix, true);
  if (!prefix) {
    Result<std::string> declared = DeclarePrefix(*root, namespaceUri, suggestedPrefix);
    if (!declared) return declared.outcome();
    prefix = std::move(*declared);
  }
  const std::string name = prefix->empty() ? std::string(localName) : *prefix + ":" + std::string(localName);
  return XmlNode(root->append_child(name.c_str()));
}

Result<std::string> XmlDocument::BindPrefix(std::string_view namespaceUri, std::string_view suggestedPrefix) {
  const Result<pugi::xml_node> root = LoadedRoot();
  if (!root) return root.outcome();
  if (auto bound = BoundPrefix(*root, namespaceUri, suggestedPrefix, false)) return std::move(*bound);
  return DeclarePrefix(*root, namespaceUri, suggestedPrefix);
}

Result<std::vector<std::uint8_t>> XmlDocument::Save() const {
  if (const Result<pugi::xml_node> root = LoadedRoot(); !root) return root.outcome();
  try {
    std::ostringstream utf8;
    // No indentation, and no declaration added to a part that was written without one.
    document_.save(utf8, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    // A stream that could not grow says so only in its state.
    if (!utf8) return Outcome::Failure(FailureKind::Io, kNoMemoryToSave);
    return EncodeXmlText(EscapeCarriageReturnsInText(utf8.str()), encoding_);
  } catch (const std::bad_alloc&) {
    return Outcome::Failure(FailureKind::Io, kNoMemoryToSave);
  }
}

}  // namespace kestrel::xml
