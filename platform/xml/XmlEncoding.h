#pragma once
// How a part's bytes are encoded, found from the byte-order mark or the XML declaration, and the
// conversions between those bytes and the UTF-8 text that pugixml parses and writes.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::xml {

struct XmlEncoding {
  unsigned codePage = 65001;  // a Windows code page number, as kestrel::text takes it
  bool byteOrderMark = false;
};

struct DecodedXml {
  std::string utf8;  // without the byte-order mark
  XmlEncoding encoding;
};

// Throws XmlError for an encoding name it does not know or bytes that are not valid in it.
DecodedXml DecodeXmlBytes(std::span<const std::uint8_t> bytes);

// Throws XmlError when the text holds a character the encoding cannot represent.
std::vector<std::uint8_t> EncodeXmlText(std::string_view utf8, const XmlEncoding& encoding);

}  // namespace kestrel::xml
