#include "platform/xml/XmlWellFormedness.h"

#include <charconv>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace kestrel::xml {
namespace {

Outcome Damaged(std::string message) { return Outcome::Failure(FailureKind::Damaged, std::move(message)); }

bool IsXmlChar(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

Outcome CheckReference(std::string_view name) {
  if (name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos") return Outcome::Success();
  if (name.size() > 1 && name[0] == '#') {
    const bool hex = name[1] == 'x';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
    if (!digits.empty() && error == std::errc() && end == digits.data() + digits.size() && IsXmlChar(value)) {
      return Outcome::Success();
    }
    return Damaged("Invalid character reference &" + std::string(name) + ";");
  }
  // Nothing can declare an entity here, since document types are refused.
  return Damaged("Reference to undeclared entity &" + std::string(name) + ";");
}

Outcome CheckReferences(std::string_view text) {
  for (std::size_t at = text.find('&'); at != std::string_view::npos; at = text.find('&', at + 1)) {
    const std::size_t end = text.find(';', at);
    if (end == std::string_view::npos) return Damaged("Unterminated reference");
    if (Outcome checked = CheckReference(text.substr(at + 1, end - at - 1)); !checked) return checked;
  }
  return Outcome::Success();
}

// Splits "p:local" into its prefix, empty for an unprefixed name.
Result<std::string_view> PrefixOf(std::string_view qualifiedName) {
  const std::size_t colon = qualifiedName.find(':');
  if (colon == std::string_view::npos) return std::string_view();
  if (colon == 0 || colon + 1 == qualifiedName.size() || qualifiedName.find(':', colon + 1) != std::string_view::npos) {
    return Damaged("Malformed qualified name " + std::string(qualifiedName));
  }
  return qualifiedName.substr(0, colon);
}

// The prefixes bound at the current point of a walk, with the bindings each open element added.
class PrefixScope {
 public:
  void Enter(const pugi::xml_node& element) {
    openCounts_.push_back(bindings_.size());
    for (const pugi::xml_attribute& attribute : element.attributes()) {
      const std::string_view name = attribute.name();
      if (name.starts_with("xmlns:")) {
        bindings_.push_back(name.substr(6));
        ++bound_[bindings_.back()];
      }
    }
  }
  void Leave() {
    for (std::size_t i = openCounts_.back(); i < bindings_.size(); ++i) --bound_[bindings_[i]];
    bindings_.resize(openCounts_.back());
    openCounts_.pop_back();
  }
  bool IsBound(std::string_view prefix) const {
    const auto found = bound_.find(prefix);
    return prefix.empty() || prefix == "xml" || (found != bound_.end() && found->second > 0);
  }

 private:
  std::vector<std::string_view> bindings_;
  std::vector<std::size_t> openCounts_;
  std::unordered_map<std::string_view, int> bound_;
};

Outcome CheckElement(const pugi::xml_node& element, const PrefixScope& scope) {
  const Result<std::string_view> elementPrefix = PrefixOf(element.name());
  if (!elementPrefix) return elementPrefix.outcome();
  if (!scope.IsBound(*elementPrefix)) {
    return Damaged("Reference to undeclared namespace prefix in " + std::string(element.name()));
  }
  std::unordered_set<std::string_view> seen;
  for (const pugi::xml_attribute& attribute : element.attributes()) {
    const std::string_view name = attribute.name();
    if (!seen.insert(name).second) return Damaged("Duplicate attribute " + std::string(name));
    const Result<std::string_view> prefix = PrefixOf(name);
    if (!prefix) return prefix.outcome();
    if (*prefix != "xmlns" && !scope.IsBound(*prefix)) {
      return Damaged("Reference to undeclared namespace prefix in " + std::string(name));
    }
    const std::string_view value = attribute.value();
    if (value.find('<') != std::string_view::npos) return Damaged("'<' in the value of attribute " + std::string(name));
    if (Outcome checked = CheckReferences(value); !checked) return checked;
  }
  return Outcome::Success();
}

Outcome CheckNode(const pugi::xml_node& node) {
  const std::string_view value = node.value();
  switch (node.type()) {
    case pugi::node_pcdata:
      return CheckReferences(value);
    case pugi::node_comment:
      if (value.find("--") != std::string_view::npos || value.ends_with('-')) return Damaged("'--' in a comment");
      break;
    case pugi::node_declaration:
      return Damaged("XML declaration not at the start of the part");
    case pugi::node_doctype:
      return Damaged("Document type declarations are not allowed");
    default:
      break;
  }
  return Outcome::Success();
}

Outcome CheckTopLevel(const pugi::xml_document& raw) {
  int elements = 0;
  for (const pugi::xml_node& node : raw.children()) {
    switch (node.type()) {
      case pugi::node_element:
        ++elements;
        break;
      case pugi::node_pcdata:
      case pugi::node_cdata:
        return Damaged("Text outside the document element");
      case pugi::node_declaration:
        if (node != raw.first_child()) return Damaged("XML declaration not at the start of the part");
        break;
      default:
        if (Outcome checked = CheckNode(node); !checked) return checked;
        break;
    }
  }
  if (elements != 1) return Damaged(elements == 0 ? "No document element" : "More than one document element");
  return Outcome::Success();
}

}  // namespace

Outcome CheckXmlCharacters(std::string_view utf8) {
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') {
      return Damaged("Character U+" + std::to_string(byte) + " is not allowed in XML");
    }
    // U+FFFE and U+FFFF, the only non-characters of the valid UTF-8 above U+001F.
    if (byte == 0xEF && (utf8.substr(i + 1, 2) == "\xBF\xBE" || utf8.substr(i + 1, 2) == "\xBF\xBF")) {
      return Damaged("Character U+FFFE or U+FFFF is not allowed in XML");
    }
  }
  return Outcome::Success();
}

Outcome CheckXmlShape(std::string_view xml) {
  // Where a construct that is no element ends; npos when it never does.
  const auto past = [&xml](std::size_t at, std::string_view end) {
    const std::size_t found = xml.find(end, at);
    return found == std::string_view::npos ? found : found + end.size();
  };
  std::size_t elements = 0;
  std::size_t depth = 0;
  for (std::size_t at = xml.find('<'); at != std::string_view::npos; at = xml.find('<', at)) {
    const std::string_view rest = xml.substr(at);
    if (rest.starts_with("<!--")) {
      at = past(at, "-->");
    } else if (rest.starts_with("<![CDATA[")) {
      at = past(at, "]]>");
    } else if (rest.starts_with("<?")) {
      at = past(at, "?>");
    } else if (rest.starts_with("<!")) {
      at = past(at, ">");
    } else if (rest.starts_with("</")) {
      depth -= depth > 0 ? 1 : 0;
      at = past(at, ">");
    } else {
      char quote = 0;
      std::size_t end = at + 1;
      for (; end < xml.size() && (quote != 0 || xml[end] != '>'); ++end) {
        if (quote != 0 && xml[end] == quote) {
          quote = 0;
        } else if (quote == 0 && (xml[end] == '"' || xml[end] == '\'')) {
          quote = xml[end];
        }
      }
      if (++elements > kMaxElements) {
        return Damaged("More than " + std::to_string(kMaxElements) + " elements, far more than any property part holds");
      }
      const bool empty = end < xml.size() && xml[end - 1] == '/';
      if (!empty && ++depth > kMaxDepth) {
        return Damaged("Elements nested more than " + std::to_string(kMaxDepth) + " deep, far deeper than in any property part");
      }
      at = end;
    }
  }
  return Outcome::Success();
}

Outcome CheckWellFormed(const pugi::xml_document& raw) {
  if (Outcome checked = CheckTopLevel(raw); !checked) return checked;
  // Iterative, because a hostile part may nest far deeper than the stack allows recursion.
  PrefixScope scope;
  pugi::xml_node node = raw.document_element();
  while (node) {
    Outcome checked = Outcome::Success();
    if (node.type() == pugi::node_element) {
      scope.Enter(node);
      checked = CheckElement(node, scope);
    } else {
      checked = CheckNode(node);
    }
    if (!checked) return checked;
    if (const pugi::xml_node child = node.first_child()) {
      node = child;
      continue;
    }
    while (node) {
      if (node.type() == pugi::node_element) scope.Leave();
      if (node == raw.document_element()) return Outcome::Success();
      if (const pugi::xml_node next = node.next_sibling()) {
        node = next;
        break;
      }
      node = node.parent();
    }
  }
  return Outcome::Success();
}

}  // namespace kestrel::xml
