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

std::vector<std::uint8_t> XmlDocument::Save() const {
  LoadedRoot();
  std::ostringstream utf8;
  // No indentation, and no declaration added to a part that was written without one.
  document_.save(utf8, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  return EncodeXmlText(utf8.str(), encoding_);
}

}  // namespace kestrel::xml
