#pragma once
// The loaded meta.xml of an OpenDocument package: its office:meta element and the elements in it,
// found by namespace and local name whatever prefix the producer wrote, and new ones added with
// the prefixes the document element binds. A light handle on the XML document it is given.
// Nothing here throws except std::bad_alloc.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Outcome.h"
#include "platform/xml/XmlDocument.h"

namespace kestrel::odf {

inline constexpr std::string_view kOfficeNamespace = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
inline constexpr std::string_view kMetaNamespace = "urn:oasis:names:tc:opendocument:xmlns:meta:1.0";
inline constexpr std::string_view kDcNamespace = "http://purl.org/dc/elements/1.1/";
inline constexpr std::string_view kXlinkNamespace = "http://www.w3.org/1999/xlink";

// A meta.xml holding no property, for a package that has none, written for OpenDocument `version`.
std::string EmptyMetaPart(std::string_view version);

class MetaPart {
 public:
  explicit MetaPart(xml::XmlDocument& document) : document_(document) {}

  // Unsupported when the document element is not office:document-meta.
  Outcome CheckDocumentElement() const;

  // The office:meta element; nullopt when the part has none.
  std::optional<xml::XmlNode> Meta() const;
  // The office:meta element, added when the part has none.
  Result<xml::XmlNode> MetaForWriting();

  // The children of office:meta with this namespace and local name, in document order.
  std::vector<xml::XmlNode> Elements(std::string_view namespaceUri, std::string_view localName) const;
  // Every child element of office:meta.
  std::vector<xml::XmlNode> AllElements() const;

  // A new last child of office:meta.
  Result<xml::XmlNode> Append(std::string_view namespaceUri, std::string_view localName, std::string_view prefix);
  // Removes every such child; true when there was one.
  bool RemoveAll(std::string_view namespaceUri, std::string_view localName);
  bool Remove(const xml::XmlNode& element);

  // The qualified name of an attribute in this namespace, with the prefix the document element
  // binds (declared there when none does).
  Result<std::string> AttributeName(std::string_view namespaceUri, std::string_view suggestedPrefix,
                                    std::string_view localName);

 private:
  xml::XmlDocument& document_;
};

// The value of the element's attribute with this local name in the element's own namespace
// (meta:name of meta:user-defined, whatever the prefix).
std::optional<std::string> OwnAttribute(const xml::XmlNode& element, std::string_view localName);

}  // namespace kestrel::odf
