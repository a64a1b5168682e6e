#include "ui/core/layout.h"

#include <algorithm>
#include <cwchar>

#include "ui/core/box.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/string_util.h"

namespace ui {

namespace {

// A maximum width below 0 means no maximum; the maximum height has no such exception.
int32_t ClampWidth(const Control* child, int32_t width) {
  width = std::max(width, child->GetMinWidth());
  if (child->GetMaxWidth() >= 0) width = std::min(width, child->GetMaxWidth());
  return width;
}

int32_t ClampHeight(const Control* child, int32_t height) {
  height = std::max(height, child->GetMinHeight());
  return std::min(height, child->GetMaxHeight());
}

bool TakesPart(const Control* child) { return child->IsVisible() && !child->IsFloat(); }

// Start of a part of length `size` placed in [start, end) by alignment 0, 1 or 2; false for
// any other alignment value.
bool AlignedStart(int32_t alignment, int32_t start, int32_t end, int32_t size, int32_t* out) {
  switch (alignment) {
    case 0: *out = start; return true;
    case 1: *out = start + (end - size - start) / 2; return true;
    case 2: *out = end - size; return true;
    default: return false;
  }
}

}  // namespace

bool Layout::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"padding") {
    SetPadding(ParseRectNumbers(value), true);
    return true;
  }
  if (name == L"childmargin") {
    SetChildMargin(static_cast<int32_t>(wcstol(value.c_str(), nullptr, 10)));
    return true;
  }
  return false;
}

void Layout::SetPadding(const Rect& padding, bool scaleDpi) {
  padding_ = padding;
  if (scaleDpi) DpiScale::Instance().ScaleRect(padding_);
  if (owner_) owner_->RequestLayout();
}

void Layout::SetChildMargin(int32_t margin) {
  childMargin_ = DpiScale::Instance().ScaleValue(margin);
  if (owner_) owner_->RequestLayout();
}

Size Layout::PlaceFloatingChild(Control* child, const Rect& rect) {
  if (!child->IsVisible()) return Size();
  const Rect m = child->GetMargin();
  const int32_t left = rect.left + m.left;
  const int32_t top = rect.top + m.top;
  const int32_t right = rect.right - m.right;
  const int32_t bottom = rect.bottom - m.bottom;
  const int32_t aw = right - left;
  const int32_t ah = bottom - top;
  Size size = child->Measure(Size{aw, ah});
  const int32_t limit = std::max(aw, 0);
  if (child->GetFixedWidth() == kSizeAuto && child->GetFixedHeight() == kSizeAuto && child->GetMaxWidth() == -1 &&
      size.cx > limit) {
    // Wrapping content (a text label) is measured again at the width it can have.
    child->SetDeclaredWidth(limit, false, false);
    size = child->Measure(Size{aw, ah});
    child->SetDeclaredWidth(kSizeAuto, false, false);
  }
  int32_t width = size.cx == kSizeStretch ? limit : size.cx;
  int32_t height = size.cy == kSizeStretch ? std::max(ah, 0) : size.cy;
  width = ClampWidth(child, width);
  height = ClampHeight(child, height);
  Rect placed;
  if (AlignedStart(child->GetHorizontalAlignment(), left, right, width, &placed.left)) {
    placed.right = placed.left + width;
  }
  if (AlignedStart(child->GetVerticalAlignment(), top, bottom, height, &placed.top)) {
    placed.bottom = placed.top + height;
  }
  child->SetBounds(placed);
  return Size{placed.Width(), placed.Height()};
}

Size Layout::ArrangeChildren(const std::vector<Control*>& children, const Rect& rect) {
  Size covered;
  for (Control* child : children) {
    if (!child->IsVisible()) continue;
    const Size placed = PlaceFloatingChild(child, rect);
    covered.cx = std::max(covered.cx, placed.cx);
    covered.cy = std::max(covered.cy, placed.cy);
  }
  return covered;
}

Size Layout::MeasureChildren(const std::vector<Control*>& children, Size available) {
  Size needed{-9999, -9999};
  for (Control* child : children) {
    if (!child->IsVisible()) continue;
    const Size size = child->Measure(available);
    const Rect m = child->GetMargin();
    needed.cx = std::max(needed.cx, ClampWidth(child, size.cx) + m.left + m.right);
    needed.cy = std::max(needed.cy, ClampHeight(child, size.cy) + m.top + m.bottom);
  }
  needed.cx += padding_.left + padding_.right;
  needed.cy += padding_.top + padding_.bottom;
  return needed;
}

// The two stacks share one body: `along` is the stacking axis.
namespace {

struct Axis {
  bool vertical;
  int32_t Along(Size s) const { return vertical ? s.cy : s.cx; }
  int32_t Across(Size s) const { return vertical ? s.cx : s.cy; }
  int32_t MarginBefore(const Rect& m) const { return vertical ? m.top : m.left; }
  int32_t MarginAfter(const Rect& m) const { return vertical ? m.bottom : m.right; }
  int32_t MarginAcrossStart(const Rect& m) const { return vertical ? m.left : m.top; }
  int32_t MarginAcrossEnd(const Rect& m) const { return vertical ? m.right : m.bottom; }
  int32_t ClampAlong(const Control* c, int32_t v) const { return vertical ? ClampHeight(c, v) : ClampWidth(c, v); }
  int32_t ClampAcross(const Control* c, int32_t v) const { return vertical ? ClampWidth(c, v) : ClampHeight(c, v); }
  int32_t AlignAcross(const Control* c) const {
    return vertical ? c->GetHorizontalAlignment() : c->GetVerticalAlignment();
  }
  Size Make(int32_t along, int32_t across) const { return vertical ? Size{across, along} : Size{along, across}; }
};

Size ArrangeStack(const Axis& axis, const std::vector<Control*>& children, const Rect& rect, int32_t childMargin) {
  const int32_t alongLength = axis.vertical ? rect.Height() : rect.Width();
  const int32_t acrossLength = axis.vertical ? rect.Width() : rect.Height();
  const int32_t alongStart = axis.vertical ? rect.top : rect.left;
  const int32_t acrossStart = axis.vertical ? rect.left : rect.top;
  const int32_t acrossEnd = axis.vertical ? rect.right : rect.bottom;
  const Size whole{rect.Width(), rect.Height()};

  int32_t fixedTotal = 0;
  int32_t stretching = 0;
  int32_t taking = 0;
  for (Control* child : children) {
    if (!TakesPart(child)) continue;
    ++taking;
    const Rect m = child->GetMargin();
    const int32_t along = axis.Along(child->Measure(whole));
    if (along == kSizeStretch) {
      ++stretching;
    } else {
      fixedTotal += axis.ClampAlong(child, along);
    }
    fixedTotal += axis.MarginBefore(m) + axis.MarginAfter(m);
  }
  if (taking >= 1) fixedTotal += childMargin * (taking - 1);
  int32_t share = 0;
  int32_t extra = 0;
  if (stretching > 0) {
    share = std::max((alongLength - fixedTotal) / stretching, 0);
    extra = alongLength - share * stretching - fixedTotal;
  }

  int32_t cursor = alongStart;
  int32_t remaining = alongLength;
  int32_t widest = 0;
  int32_t total = 0;
  for (Control* child : children) {
    if (!child->IsVisible()) continue;
    if (child->IsFloat()) {
      Layout::PlaceFloatingChild(child, rect);
      continue;
    }
    const Rect m = child->GetMargin();
    remaining -= axis.MarginBefore(m);
    const Size size = child->Measure(axis.Make(remaining, acrossLength));
    int32_t along = axis.Along(size);
    if (along == kSizeStretch) {
      along = share;
      if (extra > 0) {
        ++along;
        --extra;
      }
    }
    along = axis.ClampAlong(child, along);
    int32_t across = axis.Across(size);
    if (across == kSizeStretch) across = acrossLength - axis.MarginAcrossStart(m) - axis.MarginAcrossEnd(m);
    if (across < 0) across = 0;
    across = axis.ClampAcross(child, across);

    int32_t acrossPos = 0;
    int32_t acrossPosEnd = 0;
    switch (axis.AlignAcross(child)) {
      case 0: acrossPos = acrossStart + axis.MarginAcrossStart(m); acrossPosEnd = acrossPos + across; break;
      case 1:
        acrossPos = acrossStart + (acrossLength + axis.MarginAcrossStart(m) - axis.MarginAcrossEnd(m) - across) / 2;
        acrossPosEnd = acrossPos + across;
        break;
      case 2: acrossPos = acrossEnd - axis.MarginAcrossEnd(m) - across; acrossPosEnd = acrossPos + across; break;
      default: break;  // an unknown alignment leaves the child at 0
    }
    const int32_t alongPos = cursor + axis.MarginBefore(m);
    if (axis.vertical) {
      child->SetBounds(Rect{acrossPos, alongPos, acrossPosEnd, alongPos + along});
    } else {
      child->SetBounds(Rect{alongPos, acrossPos, alongPos + along, acrossPosEnd});
    }
    widest = std::max(widest, acrossPosEnd - acrossPos);
    total += axis.MarginBefore(m) + along + axis.MarginAfter(m);
    cursor += axis.MarginBefore(m) + along + axis.MarginAfter(m) + childMargin;
    remaining -= along + axis.MarginAfter(m) + childMargin;
  }
  if (taking >= 1) total += childMargin * (taking - 1);
  return axis.Make(total, widest);
}

Size MeasureStack(const Axis& axis, const std::vector<Control*>& children, Size available, int32_t childMargin,
                  const Rect& padding) {
  int32_t along = 0;
  int32_t across = 0;
  int32_t count = 0;
  for (Control* child : children) {
    if (!TakesPart(child)) continue;
    ++count;
    const Size size = child->Measure(available);
    const Rect m = child->GetMargin();
    across = std::max(across, axis.ClampAcross(child, axis.Across(size)) + axis.MarginAcrossStart(m) +
                                  axis.MarginAcrossEnd(m));
    along += axis.ClampAlong(child, axis.Along(size)) + axis.MarginBefore(m) + axis.MarginAfter(m);
  }
  if (count >= 2) along += childMargin * (count - 1);
  Size needed = axis.Make(along, across);
  needed.cx += padding.left + padding.right;
  needed.cy += padding.top + padding.bottom;
  return needed;
}

}  // namespace

Size VLayout::ArrangeChildren(const std::vector<Control*>& children, const Rect& rect) {
  return ArrangeStack(Axis{true}, children, rect, childMargin_);
}

Size VLayout::MeasureChildren(const std::vector<Control*>& children, Size available) {
  return MeasureStack(Axis{true}, children, available, childMargin_, padding_);
}

Size HLayout::ArrangeChildren(const std::vector<Control*>& children, const Rect& rect) {
  return ArrangeStack(Axis{false}, children, rect, childMargin_);
}

Size HLayout::MeasureChildren(const std::vector<Control*>& children, Size available) {
  return MeasureStack(Axis{false}, children, available, childMargin_, padding_);
}

bool TileLayout::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"itemsize") {
    int32_t numbers[2];
    ParseNumberList(value, numbers, 2);
    const Size size{DpiScale::Instance().ScaleValue(numbers[0]), DpiScale::Instance().ScaleValue(numbers[1])};
    if (size.cx != itemSize_.cx || size.cy != itemSize_.cy) {
      itemSize_ = size;
      if (owner_) owner_->RequestLayout();
    }
    return true;
  }
  if (name == L"columns") {
    const int32_t columns = static_cast<int32_t>(wcstol(value.c_str(), nullptr, 10));
    if (columns > 0) {
      columns_ = columns;
      if (owner_) owner_->RequestLayout();
    }
    return true;
  }
  return Layout::ApplyAttribute(name, value);
}

Size TileLayout::ArrangeChildren(const std::vector<Control*>& children, const Rect& rect) {
  const int32_t width = rect.Width();
  if (itemSize_.cx >= 1) columns_ = width / itemSize_.cx;
  // A box narrower than one item (or of negative width) still has one column.
  if (columns_ <= 0) columns_ = 1;
  const int32_t cellWidth = width / columns_;
  const int32_t extra = width % columns_;

  int32_t index = 0;
  int32_t rowTop = rect.top;
  int32_t rowHeight = 0;
  int32_t cellLeft = rect.left;
  int32_t extraLeft = 0;
  int32_t bottom = rect.top;
  for (size_t at = 0; at < children.size(); ++at) {
    Control* child = children[at];
    if (!child->IsVisible()) continue;
    if (child->IsFloat()) {
      PlaceFloatingChild(child, rect);
      continue;
    }
    const int32_t column = index % columns_;
    if (column == 0) {
      extraLeft = extra;
      cellLeft = rect.left;
      rowHeight = 0;
      const int32_t firstCell = cellWidth + (extra > 0 ? 1 : 0);
      int32_t seen = 0;
      for (size_t next = at; next < children.size() && seen < columns_; ++next) {
        Control* member = children[next];
        if (!TakesPart(member)) continue;
        const Rect m = member->GetMargin();
        const bool edge = seen == 0 || seen == columns_ - 1;
        const int32_t available =
            ClampWidth(member, firstCell - m.left - m.right - (edge ? childMargin_ / 2 : childMargin_));
        const int32_t height = ClampHeight(member, member->Measure(Size{available, 9999}).cy) + m.top + m.bottom;
        rowHeight = std::max(rowHeight, height);
        ++seen;
      }
    }
    int32_t thisCell = cellWidth;
    if (extraLeft > 0) {
      ++thisCell;
      --extraLeft;
    }
    const int32_t cellRight = cellLeft + thisCell;
    const Rect m = child->GetMargin();
    const int32_t left = cellLeft + childMargin_ / 2 + m.left;
    const int32_t right = cellRight - childMargin_ / 2 - m.right;
    const int32_t top = rowTop + m.top;
    const Size size = child->Measure(Size{right - left, rowHeight - m.top});
    const int32_t childWidth = ClampWidth(child, size.cx == kSizeStretch ? right - left : size.cx);
    const int32_t childHeight = ClampHeight(child, size.cy == kSizeStretch ? rowHeight - m.top : size.cy);
    const int32_t x = (left + right - childWidth) / 2;
    const int32_t y = (top + rowTop + rowHeight - childHeight) / 2;
    child->SetBounds(Rect{x, y, x + childWidth, y + childHeight});
    bottom = rowTop + rowHeight;
    cellLeft = cellRight;
    ++index;
    if (column == columns_ - 1) {
      rowTop += rowHeight + childMargin_;
      cellLeft = rect.left;
    }
  }
  return Size{width, bottom - rect.top};
}

Size TileLayout::MeasureChildren(const std::vector<Control*>& children, Size available) {
  Size needed;
  needed.cx = owner_ ? owner_->Control::Measure(available).cx : 0;
  if (itemSize_.cx >= 1 && owner_) {
    columns_ = owner_->GetFixedWidth() / itemSize_.cx;
    if (columns_ <= 0) columns_ = 1;
  }
  int32_t count = 0;
  for (Control* child : children) {
    if (child->IsVisible()) ++count;
  }
  if (count > 0 && !children.empty()) {
    const int32_t rows = (count + columns_ - 1) / columns_;
    needed.cy = rows * children.front()->GetFixedHeight() + (rows - 1) * childMargin_ + padding_.top + padding_.bottom;
  }
  return needed;
}

}  // namespace ui
