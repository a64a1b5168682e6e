// Fuzzes the markup parse: the input is read as little-endian UTF-16 units (NUL units dropped,
// since the text ends at the first), parsed from an exact-size copy, and every node and
// attribute is read back through cursors. Links must stay inside the node table, positions
// inside the text, the tree must be a tree no deeper than the nesting limit, and a failure
// must leave nothing loaded.

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include "ui/markup/markup_document.h"

namespace {

void Require(bool condition) {
  if (!condition) abort();
}

// Every attribute and name read through the cursor lies inside the text, before its NUL.
void CheckNode(ui::MarkupDocument& document, ui::MarkupNode node) {
  const wchar_t* text = document.GetText();
  const wchar_t* end = text + document.GetTextLength();
  const wchar_t* name = node.GetName();
  Require(name >= text && name + std::wcslen(name) <= end);
  const int count = node.GetAttributeCount();
  Require(count >= 0 && count <= ui::kMaxMarkupAttributes);
  const ui::MarkupNodeRecord& record = document.GetNodes()[node.GetIndex()];
  for (int i = 0; i < count; ++i) {
    const wchar_t* attributeName = node.GetAttributeName(i);
    const wchar_t* value = node.GetAttributeValue(i);
    Require(attributeName >= text && value > attributeName && value < text + record.contentPosition);
    Require(value + std::wcslen(value) <= end);
  }
  Require(*node.GetAttributeName(count) == 0);
}

unsigned Walk(ui::MarkupDocument& document, ui::MarkupNode node, unsigned depth, unsigned* visited) {
  Require(depth <= ui::kMaxMarkupDepth);
  unsigned deepest = depth;
  for (; node.IsValid(); node = node.GetNextSibling()) {
    Require(++*visited < document.GetNodeCount());
    CheckNode(document, node);
    const unsigned below = Walk(document, node.GetFirstChild(), depth + 1, visited);
    if (below > deepest) deepest = below;
  }
  return deepest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<wchar_t> units;
  for (size_t i = 0; i + 1 < size; i += 2) {
    const wchar_t unit = wchar_t(data[i] | data[i + 1] << 8);
    if (unit != 0) units.push_back(unit);
  }
  units.push_back(0);

  ui::MarkupDocument document;
  if (!document.LoadFromString(units.data())) {
    Require(document.GetText() == nullptr && document.GetNodeCount() == 0);
    Require(document.GetLastErrorMessage()[0] != 0);
    Require(std::wcslen(document.GetLastErrorLocation()) <= 49);
    return 0;
  }
  const uint32_t count = document.GetNodeCount();
  const size_t length = document.GetTextLength();
  Require(count >= 1 && length == units.size() - 1);
  const ui::MarkupNodeRecord* nodes = document.GetNodes();
  for (uint32_t i = 1; i < count; ++i) {
    const ui::MarkupNodeRecord& n = nodes[i];
    Require(n.namePosition < length && n.contentPosition <= length);
    Require(n.namePosition <= n.contentPosition);
    Require(n.parent < i);
    Require(n.firstChild == 0 || (n.firstChild > i && n.firstChild < count && nodes[n.firstChild].parent == i));
    Require(n.nextSibling == 0 || (n.nextSibling > i && n.nextSibling < count && nodes[n.nextSibling].parent == n.parent));
  }
  unsigned visited = 0;
  Walk(document, document.GetRoot(), 1, &visited);
  // The same document parses again from a copy of its original text.
  ui::MarkupDocument again;
  Require(again.LoadFromString(units.data()) && again.GetNodeCount() == count);
  return 0;
}
