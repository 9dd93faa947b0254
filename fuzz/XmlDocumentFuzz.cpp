// Fuzzes the XML document adapter: loading arbitrary bytes, reading and editing a loaded part the
// way the property writer does, and loading the saved part again.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "platform/xml/XmlDocument.h"
#include "platform/xml/XmlError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrel::xml;
  XmlDocument document;
  try {
    document.Load(std::span<const std::uint8_t>(data, size));
  } catch (const XmlError&) {
    return 0;
  }
  XmlNode root = document.DocumentElement();
  bool textSet = false;
  for (XmlNode child : root.Children()) {
    child.Name();
    child.Attribute("Type");
    try {
      child.Text();
      if (!textSet) child.SetText(" <&>]]>\"日本 ");
      textSet = true;
    } catch (const XmlError&) {
    }
  }
  auto added = document.AddChild("dc:title");
  if (added) added->SetText("t");
  document.RemoveChild(root.ChildCount() > 0 ? root.Child(0).Name() : "x");

  const std::string name = root.Name();
  const std::size_t count = root.ChildCount();
  std::vector<std::uint8_t> saved;
  try {
    saved = document.Save();
  } catch (const XmlError&) {
    return 0;  // a character the part's own encoding cannot hold
  }
  XmlDocument again;
  again.Load(saved);  // an XmlError here means the saved part is broken: let it escape
  if (again.DocumentElement().Name() != name || again.DocumentElement().ChildCount() != count) std::abort();
  return 0;
}
