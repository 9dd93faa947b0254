#pragma once
// The one error type of the XML layer: parts that are not well-formed, unsupported encodings and
// element content the property operations cannot treat as plain text.
// Every throwing function of the XML layer throws this and says so.

#include <stdexcept>

namespace kestrel::xml {

class XmlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kestrel::xml
