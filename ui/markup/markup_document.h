#pragma once

// The skin markup reader: one pass over UTF-16 text, in place. Element names and attribute
// values become NUL-terminated pieces of the document's own buffer; nodes refer to them by
// position. The parse itself makes no system calls (only loading a file does), so it is also
// built natively for fuzzing.

#include <cstddef>
#include <cstdint>

namespace ui {

class MarkupDocument;

// One element: positions are UTF-16 code units from the start of the text, links are node
// indexes (0 = none; node 0 is the document and stays empty).
struct MarkupNodeRecord {
  uint32_t namePosition;
  uint32_t firstChild;
  uint32_t nextSibling;
  uint32_t parent;
  // First character after the start tag's ">", or the "/" of an empty element.
  uint32_t contentPosition;
};

// Deeper nesting fails with "Elements nested too deeply" instead of exhausting the stack; it
// also bounds every later recursive walk of the tree.
constexpr unsigned kMaxMarkupDepth = 256;
constexpr int kMaxMarkupAttributes = 64;
constexpr uint32_t kMaxMarkupFileBytes = 4194304;

// A cursor on one element. It reads the document it was made from and must not outlive it.
class MarkupNode {
 public:
  MarkupNode() = default;
  MarkupNode(MarkupDocument* document, int index) : nodeIndex_(index), document_(document) {}

  bool IsValid() const { return document_ != nullptr; }
  int GetIndex() const { return nodeIndex_; }
  const wchar_t* GetName() const;
  MarkupNode GetFirstChild() const;
  MarkupNode GetNextSibling() const;
  int GetAttributeCount();
  // Empty text for an index at or beyond the count.
  const wchar_t* GetAttributeName(int i);
  const wchar_t* GetAttributeValue(int i);
  // Locates the element's attributes in the parsed text (at most 64).
  void CollectAttributes();

 private:
  struct AttributePositions {
    uint32_t name;
    uint32_t value;
  };
  int nodeIndex_ = 0;
  int attributeCount_ = 0;
  AttributePositions attributes_[kMaxMarkupAttributes] = {};
  MarkupDocument* document_ = nullptr;
};

class MarkupDocument {
 public:
  MarkupDocument() = default;
  ~MarkupDocument() { Release(); }
  MarkupDocument(const MarkupDocument&) = delete;
  MarkupDocument& operator=(const MarkupDocument&) = delete;

  bool LoadFromString(const wchar_t* text);
  // UTF-8 file of at most 4 MiB; a relative path is taken below the skin's resource path.
  bool LoadFromFile(const wchar_t* path);
  // Parses the text already in the buffer.
  bool Parse();
  // Frees the text and the node table.
  void Release();

  // Node 1, the first top-level element; a cursor on nothing when the document holds none.
  MarkupNode GetRoot();
  MarkupNode GetNode(uint32_t index);
  uint32_t GetNodeCount() const { return nodeCount_; }
  const MarkupNodeRecord* GetNodes() const { return nodes_; }
  const wchar_t* GetText() const { return text_; }
  size_t GetTextLength() const { return textLength_; }
  const wchar_t* GetLastErrorMessage() const { return errorMessage_; }
  const wchar_t* GetLastErrorLocation() const { return errorLocation_; }

 private:
  friend class MarkupNode;

  bool ParseElements(wchar_t** cursor, unsigned parent);
  bool ParseAttributes(wchar_t** cursor);
  bool ParseText(wchar_t** cursor, wchar_t** out, wchar_t terminator);
  // Takes ownership of a NUL-terminated buffer of `length` characters and parses it.
  bool AdoptAndParse(wchar_t* text, size_t length);
  bool ReserveNode(uint32_t* index);
  bool Fail(const wchar_t* message, const wchar_t* location);
  void SkipBlanks(wchar_t** cursor) const;
  uint32_t PositionOf(const wchar_t* p) const { return static_cast<uint32_t>(p - text_); }

  wchar_t* text_ = nullptr;
  MarkupNodeRecord* nodes_ = nullptr;
  uint32_t nodeCount_ = 0;
  uint32_t nodeCapacity_ = 0;
  wchar_t errorMessage_[100] = {};
  wchar_t errorLocation_[50] = {};
  size_t textLength_ = 0;
  unsigned depth_ = 0;
};

// A code unit from 1 to 32.
inline bool IsMarkupBlank(wchar_t c) { return c >= 1 && c <= 32; }
// "_", ":" or a letter or digit by the C runtime's wide-character classes.
bool IsMarkupNameChar(wchar_t c);

}  // namespace ui
