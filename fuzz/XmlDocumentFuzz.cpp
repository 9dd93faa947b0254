// Fuzzes the XML document adapter: loading arbitrary bytes, reading and editing a loaded part the
// way the property writer does, and loading the saved part again. Every failure is an outcome; a
// part that saved but does not load again is a bug.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "platform/xml/XmlDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrel::xml;
  XmlDocument document;
  if (!document.Load(std::span<const std::uint8_t>(data, size))) return 0;
  XmlNode root = document.DocumentElement();
  bool textSet = false;
  for (XmlNode child : root.Children()) {
    child.Name();
    child.Attribute("Type");
    if (child.Text() && !textSet) textSet = child.SetText(" <&>]]>\"日本 ").ok();
  }
  if (auto added = document.AppendChild("http://purl.org/dc/elements/1.1/", "title", "dc")) added->SetText("t");
  if (root.ChildCount() > 0) document.RemoveChild(root.Children().front().NamespaceUri(), root.Children().front().LocalName());

  const std::string name = root.Name();
  const std::size_t count = root.ChildCount();
  const auto saved = document.Save();
  if (!saved) return 0;  // a character the part's own encoding cannot hold
  XmlDocument again;
  if (!again.Load(*saved)) std::abort();  // the saved part is broken
  if (again.DocumentElement().Name() != name || again.DocumentElement().ChildCount() != count) std::abort();
  return 0;
}
