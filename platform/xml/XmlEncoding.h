#pragma once
// How a part's bytes are encoded, found from the byte-order mark or the XML declaration, and the
// conversions between those bytes and the UTF-8 text that pugixml parses and writes.
// Nothing here throws except std::bad_alloc.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Outcome.h"

namespace kestrel::xml {

struct XmlEncoding {
  unsigned codePage = 65001;  // a Windows code page number, as kestrel::text takes it
  bool byteOrderMark = false;
};

struct DecodedXml {
  std::string utf8;  // without the byte-order mark
  XmlEncoding encoding;
};

// Unsupported for an encoding name it does not know; Damaged for bytes that are not valid in the
// encoding, or a byte-order mark that contradicts the declaration.
Result<DecodedXml> DecodeXmlBytes(std::span<const std::uint8_t> bytes);

// InvalidValue when the text holds a character the encoding cannot represent.
Result<std::vector<std::uint8_t>> EncodeXmlText(std::string_view utf8, const XmlEncoding& encoding);

}  // namespace kestrel::xml
