#include "ui/markup/markup_document.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <new>

namespace ui {

namespace {

const wchar_t kNoText[] = L"";

struct Entity {
  const wchar_t* text;
  size_t length;
  wchar_t character;
};

// Only these five are decoded; any other "&" stays as written.
const Entity kEntities[] = {
    {L"&amp;", 5, L'&'}, {L"&apos;", 6, L'\''}, {L"&lt;", 4, L'<'}, {L"&gt;", 4, L'>'}, {L"&quot;", 6, L'"'},
};

}  // namespace

bool IsMarkupNameChar(wchar_t c) {
  return c == L'_' || c == L':' || std::iswalnum(static_cast<wint_t>(c)) != 0;
}

// ---------------------------------------------------------------------------------------------
// MarkupDocument

void MarkupDocument::Release() {
  std::free(text_);
  std::free(nodes_);
  text_ = nullptr;
  nodes_ = nullptr;
  textLength_ = 0;
  nodeCount_ = 0;
  nodeCapacity_ = 0;
}

bool MarkupDocument::LoadFromString(const wchar_t* text) {
  Release();
  if (text == nullptr) text = kNoText;
  const size_t length = std::wcslen(text);
  wchar_t* copy = static_cast<wchar_t*>(std::malloc((length + 1) * sizeof(wchar_t)));
  if (copy == nullptr) return Fail(L"Out of memory", nullptr);
  std::memcpy(copy, text, (length + 1) * sizeof(wchar_t));
  return AdoptAndParse(copy, length);
}

bool MarkupDocument::AdoptAndParse(wchar_t* text, size_t length) {
  text_ = text;
  textLength_ = length;
  if (Parse()) return true;
  Release();
  return false;
}

bool MarkupDocument::Parse() {
  errorMessage_[0] = 0;
  errorLocation_[0] = 0;
  nodeCount_ = 0;
  depth_ = 0;
  uint32_t document = 0;
  if (!ReserveNode(&document)) return false;
  nodes_[document] = MarkupNodeRecord{};
  if (text_ == nullptr) return true;
  wchar_t* cursor = text_;
  return ParseElements(&cursor, 0);
}

bool MarkupDocument::ReserveNode(uint32_t* index) {
  if (nodeCount_ >= nodeCapacity_) {
    const uint64_t grown = uint64_t(nodeCapacity_) + nodeCapacity_ / 2 + 500;
    if (grown > UINT32_MAX || grown > SIZE_MAX / sizeof(MarkupNodeRecord)) return Fail(L"Out of memory", nullptr);
    void* table = std::realloc(nodes_, size_t(grown) * sizeof(MarkupNodeRecord));
    if (table == nullptr) return Fail(L"Out of memory", nullptr);
    nodes_ = static_cast<MarkupNodeRecord*>(table);
    nodeCapacity_ = static_cast<uint32_t>(grown);
  }
  *index = nodeCount_++;
  return true;
}

bool MarkupDocument::Fail(const wchar_t* message, const wchar_t* location) {
  std::wcsncpy(errorMessage_, message, 99);
  errorMessage_[99] = 0;
  size_t n = 0;
  if (location != nullptr) {
    for (; n < 49 && location[n] != 0; ++n) errorLocation_[n] = location[n];
  }
  errorLocation_[n] = 0;
  return false;
}

void MarkupDocument::SkipBlanks(wchar_t** cursor) const {
  wchar_t* p = *cursor;
  while (IsMarkupBlank(*p)) ++p;
  *cursor = p;
}

bool MarkupDocument::ParseElements(wchar_t** cursor, unsigned parent) {
  wchar_t* p = *cursor;
  uint32_t previous = 0;
  for (;;) {
    SkipBlanks(&p);
    if (*p == 0) {
      *cursor = p;
      return parent <= 1 ? true : Fail(L"Expected start tag", p);
    }
    if (*p != L'<') return Fail(L"Expected start tag", p);
    // An end tag: the caller checks it (at the top level it ends the parse).
    if (p[1] == L'/') {
      *cursor = p;
      return true;
    }
    *p++ = 0;
    SkipBlanks(&p);
    if (*p == L'!' || *p == L'?') {
      // Comments and declarations end at "->", processing instructions at "?>".
      const wchar_t closer = *p == L'!' ? L'-' : L'?';
      while (*p != 0 && !(p[0] == closer && p[1] == L'>')) ++p;
      if (*p != 0) p += 2;
      continue;
    }

    if (depth_ >= kMaxMarkupDepth) return Fail(L"Elements nested too deeply", p);
    uint32_t index = 0;
    if (!ReserveNode(&index)) return false;
    nodes_[index] = MarkupNodeRecord{PositionOf(p), 0, 0, parent, 0};
    if (previous != 0) {
      nodes_[previous].nextSibling = index;
    } else if (parent != 0) {
      nodes_[parent].firstChild = index;
    }
    previous = index;

    wchar_t* const name = p;
    while (IsMarkupNameChar(*p)) ++p;
    wchar_t* const nameEnd = p;
    if (*p == 0) return Fail(L"Error parsing element name", p);
    if (!ParseAttributes(&p)) return false;
    SkipBlanks(&p);

    if (p[0] == L'/' && p[1] == L'>') {
      nodes_[index].contentPosition = PositionOf(p);
      *p = 0;
      p += 2;
    } else if (*p == L'>') {
      ++p;
      nodes_[index].contentPosition = PositionOf(p);
      wchar_t* textEnd = p;
      ParseText(&p, &textEnd, L'<');
      if (*p == 0) {
        if (parent > 1) return Fail(L"Expected end-tag start", p);
        // Left open at the end of the text: accepted, with its name still terminated.
        *nameEnd = 0;
        *cursor = p;
        return true;
      }
      if (p[1] != L'/') {
        ++depth_;
        const bool parsed = ParseElements(&p, index);
        --depth_;
        if (!parsed) return false;
      }
      if (p[0] == L'<' && p[1] == L'/') {
        *textEnd = 0;
        *p = 0;
        p += 2;
        SkipBlanks(&p);
        const size_t nameLength = size_t(nameEnd - name);
        if (std::wcsncmp(p, name, nameLength) != 0) return Fail(L"Unmatched closing tag", p);
        p += nameLength;
        SkipBlanks(&p);
        if (*p != L'>') return Fail(L"Unmatched closing tag", p);
        ++p;
      }
    } else {
      return Fail(L"Expected start-tag closing", p);
    }
    *nameEnd = 0;
  }
}

bool MarkupDocument::ParseAttributes(wchar_t** cursor) {
  wchar_t* p = *cursor;
  if (*p == L'>' || (p[0] == L'/' && p[1] == L'>')) return true;
  // Normally a blank; it ends the element name.
  *p++ = 0;
  for (;;) {
    SkipBlanks(&p);
    if (*p == 0 || *p == L'/' || *p == L'>') {
      *cursor = p;
      return true;
    }
    wchar_t* nameEnd = p;
    while (IsMarkupNameChar(*nameEnd)) ++nameEnd;
    p = nameEnd;
    SkipBlanks(&p);
    if (*p != L'=') return Fail(L"Error while parsing attributes", p);
    *p++ = L' ';
    *nameEnd = 0;
    SkipBlanks(&p);
    if (*p != L'"') return Fail(L"Expected attribute value", p);
    ++p;
    wchar_t* valueEnd = p;
    ParseText(&p, &valueEnd, L'"');
    if (*p == 0) return Fail(L"Error while parsing attribute string", p);
    *valueEnd = 0;
    // A shortened value leaves its closing quote as a blank, so the attribute walk skips it.
    if (valueEnd != p) *p = L' ';
    ++p;
  }
}

bool MarkupDocument::ParseText(wchar_t** cursor, wchar_t** out, wchar_t terminator) {
  wchar_t* p = *cursor;
  wchar_t* o = *out;
  while (*p != 0 && *p != terminator) {
    if (*p == L'&') {
      const Entity* found = nullptr;
      for (const Entity& entity : kEntities) {
        if (std::wcsncmp(p, entity.text, entity.length) == 0) {
          found = &entity;
          break;
        }
      }
      if (found != nullptr) {
        *o++ = found->character;
        p += found->length;
        continue;
      }
    }
    *o++ = *p++;
  }
  // Blanks behind a shortened text (past the place of its terminating NUL) keep it scannable.
  for (wchar_t* fill = o + 1; fill < p; ++fill) *fill = L' ';
  *cursor = p;
  *out = o;
  return true;
}

MarkupNode MarkupDocument::GetRoot() { return GetNode(1); }

MarkupNode MarkupDocument::GetNode(uint32_t index) {
  if (index == 0 || index >= nodeCount_ || text_ == nullptr) return MarkupNode();
  return MarkupNode(this, static_cast<int>(index));
}

// ---------------------------------------------------------------------------------------------
// MarkupNode

const wchar_t* MarkupNode::GetName() const {
  if (document_ == nullptr || document_->text_ == nullptr) return kNoText;
  if (nodeIndex_ <= 0 || uint32_t(nodeIndex_) >= document_->nodeCount_) return kNoText;
  return document_->text_ + document_->nodes_[nodeIndex_].namePosition;
}

MarkupNode MarkupNode::GetFirstChild() const {
  if (document_ == nullptr || nodeIndex_ <= 0 || uint32_t(nodeIndex_) >= document_->nodeCount_) return MarkupNode();
  return document_->GetNode(document_->nodes_[nodeIndex_].firstChild);
}

MarkupNode MarkupNode::GetNextSibling() const {
  if (document_ == nullptr || nodeIndex_ <= 0 || uint32_t(nodeIndex_) >= document_->nodeCount_) return MarkupNode();
  return document_->GetNode(document_->nodes_[nodeIndex_].nextSibling);
}

int MarkupNode::GetAttributeCount() {
  if (attributeCount_ == 0) CollectAttributes();
  return attributeCount_;
}

const wchar_t* MarkupNode::GetAttributeName(int i) {
  if (attributeCount_ == 0) CollectAttributes();
  if (i < 0 || i >= attributeCount_) return kNoText;
  return document_->text_ + attributes_[i].name;
}

const wchar_t* MarkupNode::GetAttributeValue(int i) {
  if (attributeCount_ == 0) CollectAttributes();
  if (i < 0 || i >= attributeCount_) return kNoText;
  return document_->text_ + attributes_[i].value;
}

void MarkupNode::CollectAttributes() {
  attributeCount_ = 0;
  if (document_ == nullptr || document_->text_ == nullptr) return;
  if (nodeIndex_ <= 0 || uint32_t(nodeIndex_) >= document_->nodeCount_) return;
  const wchar_t* text = document_->text_;
  const MarkupNodeRecord& node = document_->nodes_[nodeIndex_];
  // Every step stays before the start tag's end, so no walk leaves the element's own text.
  const size_t end = node.contentPosition < document_->textLength_ ? node.contentPosition : document_->textLength_;
  size_t p = node.namePosition;
  while (p < end && text[p] != 0) ++p;
  ++p;
  while (p < end) {
    while (p < end && IsMarkupBlank(text[p])) ++p;
    if (p >= end) return;
    const size_t name = p;
    while (p < end && text[p] != 0) ++p;
    if (p >= end) return;
    ++p;
    while (p < end && IsMarkupBlank(text[p])) ++p;
    if (p >= end || text[p] != L'"') return;
    ++p;
    attributes_[attributeCount_].name = static_cast<uint32_t>(name);
    attributes_[attributeCount_].value = static_cast<uint32_t>(p);
    if (++attributeCount_ >= kMaxMarkupAttributes) return;
    while (p < end && text[p] != 0) ++p;
    ++p;
  }
}

}  // namespace ui
