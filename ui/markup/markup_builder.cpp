#include "ui/markup/markup_builder.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <utility>
#include <vector>

#include "ui/controls/button.h"
#include "ui/controls/child_box.h"
#include "ui/controls/circle_progress.h"
#include "ui/controls/combo.h"
#include "ui/controls/list_box.h"
#include "ui/controls/rich_edit.h"
#include "ui/controls/scroll_bar.h"
#include "ui/controls/slider.h"
#include "ui/controls/tab_box.h"
#include "ui/controls/tree_view.h"
#include "ui/controls/virtual_list_box.h"
#include "ui/core/box.h"
#include "ui/core/control.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/string_util.h"
#include "ui/core/window.h"
#include "ui/resources/language_table.h"
#include "ui/resources/runtime_links.h"

namespace ui {

namespace {

// The sources being built right now, outermost first: an Include of one of them would
// rebuild itself without end.
std::vector<std::wstring>& SourcesInProgress() {
  static std::vector<std::wstring> sources;
  return sources;
}

class SourceInProgress {
 public:
  explicit SourceInProgress(const std::wstring& key) : pushed_(!key.empty()) {
    if (pushed_) SourcesInProgress().push_back(key);
  }
  ~SourceInProgress() {
    if (pushed_) SourcesInProgress().pop_back();
  }
  SourceInProgress(const SourceInProgress&) = delete;
  SourceInProgress& operator=(const SourceInProgress&) = delete;

 private:
  bool pushed_;
};

// One spelling for one file: "a/b.xml", "A\\b.XML" and ".\\a\\b.xml" are the same source.
std::wstring SourceKey(const wchar_t* source) {
  if (source == nullptr || source[0] == L'\0') return std::wstring();
  if (source[0] == L'<') return source;
  std::wstring key = UiRuntime::ToZipEntryName(source);
  std::transform(key.begin(), key.end(), key.begin(), [](wchar_t c) { return wchar_t(towlower(c)); });
  return key;
}

bool IsResourceElement(const std::wstring& name) {
  return name == L"Image" || name == L"Font" || name == L"Class" || name == L"TextColor";
}

// The element's attributes as name/value pairs in document order.
std::vector<std::pair<std::wstring, std::wstring>> AttributesOf(MarkupNode& node) {
  std::vector<std::pair<std::wstring, std::wstring>> attributes;
  const int count = node.GetAttributeCount();
  for (int i = 0; i < count; ++i) attributes.emplace_back(node.GetAttributeName(i), node.GetAttributeValue(i));
  return attributes;
}

// The last value of name (a later duplicate wins); empty when absent.
std::wstring AttributeOf(MarkupNode& node, const wchar_t* name, bool* present = nullptr) {
  std::wstring value;
  if (present) *present = false;
  const int count = node.GetAttributeCount();
  for (int i = 0; i < count; ++i) {
    if (wcscmp(node.GetAttributeName(i), name) == 0) {
      value = node.GetAttributeValue(i);
      if (present) *present = true;
    }
  }
  return value;
}

// Leading decimal digits (with an optional sign); 0 when there are none.
int LeadingInt(const std::wstring& text) { return static_cast<int>(wcstol(text.c_str(), nullptr, 10)); }

Rect ScaledRect(const std::wstring& text) {
  Rect rect = ParseRectNumbers(text);
  DpiScale::Instance().ScaleRect(rect);
  return rect;
}

Size NumberPair(const std::wstring& text) {
  int32_t values[2] = {};
  ParseNumberList(text, values, 2);
  return Size{values[0], values[1]};
}

// "#AARRGGBB": the first character is a marker; hexadecimal digits follow up to the first
// character that is not one.
ArgbColor ParseColorValue(const std::wstring& value) {
  ArgbColor color = 0;
  for (size_t i = 1; i < value.size() && iswxdigit(value[i]); ++i) {
    const wchar_t c = value[i];
    const uint32_t digit = c <= L'9' ? c - L'0' : (towlower(c) - L'a' + 10);
    color = (color << 4) | digit;
  }
  return color;
}

// A class's attribute text: "value" as it stands, "_value" as an attribute called value,
// the rest as name="value"; leading blanks dropped.
std::wstring ClassText(MarkupNode& node) {
  std::wstring text;
  for (const auto& attribute : AttributesOf(node)) {
    if (attribute.first == L"name") continue;
    if (attribute.first == L"value") {
      text += attribute.second;
    } else if (attribute.first == L"_value") {
      text += L" value=\"" + attribute.second + L"\"";
    } else {
      text += L" " + attribute.first + L"=\"" + attribute.second + L"\"";
    }
  }
  size_t start = 0;
  while (start < text.size() && (text[start] == L' ' || text[start] < 30)) ++start;
  return text.substr(start);
}

Rect PaddingOf(const Window* window) {
  const WindowShadow& shadow = window->GetShadow();
  return shadow.attached ? shadow.padding : Rect();
}

// The size of a live framework window that owns hwnd, followed up to the topmost owner.
bool OwnerVisibleSize(HWND hwnd, Size* size) {
  HWND top = GetWindow(hwnd, GW_OWNER);
  if (!top) return false;
  for (HWND up = GetParent(top); up; up = GetParent(up)) top = up;
  Window* owner = UiRuntime::FindWindowByHandle(top);
  if (!owner) return false;
  RECT rect = {};
  GetWindowRect(top, &rect);
  const Rect padding = PaddingOf(owner);
  size->cx = rect.right - rect.left - padding.left - padding.right;
  size->cy = rect.bottom - rect.top - padding.top - padding.bottom;
  return true;
}

}  // namespace

EventType EventTypeFromName(const std::wstring& name) {
  static const struct {
    const wchar_t* name;
    EventType type;
  } kNames[] = {
      {L"all", kEventAll},
      {L"keydown", kEventKeyDown},
      {L"keyup", kEventKeyUp},
      {L"char", kEventChar},
      {L"syskey", kEventSysKey},
      {L"mousemove", kEventMouseMove},
      {L"mouseenter", kEventMouseEnter},
      {L"mouseleave", kEventMouseLeave},
      {L"mousehover", kEventMouseHover},
      {L"buttondown", kEventButtonDown},
      {L"buttonup", kEventButtonUp},
      {L"rbuttondown", kEventRButtonDown},
      {L"doubleclick", kEventDoubleClick},
      {L"menu", kEventMenu},
      {L"scrollwheel", kEventScrollWheel},
      {L"setfocus", kEventSetFocus},
      {L"killfocus", kEventKillFocus},
      {L"windowclose", kEventWindowClose},
      {L"setcursor", kEventSetCursor},
      {L"select", kEventSelect},
      {L"unselect", kEventUnselect},
      {L"return", kEventReturn},
      {L"tab", kEventTab},
      {L"scrollchange", kEventScrollChange},
      {L"valuechange", kEventValueChange},
  };
  for (const auto& entry : kNames) {
    if (name == entry.name) return entry.type;
  }
  return kEventUnknown;
}

bool MarkupBuilder::Load(const wchar_t* source) {
  if (source == nullptr || source[0] == L'\0') return false;
  if (source[0] == L'<') return document_.LoadFromString(source);
  if (UiRuntime::GetResourceZip()) {
    const std::wstring path = UiRuntime::GetResourceRoot() + source;
    int index = -1;
    unsigned size = 0;
    if (FindResourceArchiveEntry(UiRuntime::ToZipEntryName(path), &index, &size) == 0 && index >= 0) {
      if (HGLOBAL block = UiRuntime::ReadZipEntry(path)) {
        std::string bytes;
        if (const char* data = static_cast<const char*>(GlobalLock(block))) {
          // Only the entry's own bytes, and only up to a NUL inside them.
          const size_t length = std::min<size_t>(size, GlobalSize(block));
          bytes.assign(data, std::find(data, data + length, '\0'));
          GlobalUnlock(block);
        }
        GlobalFree(block);
        size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        std::wstring text;
        if (!Utf8ToWide(bytes.c_str() + start, text)) return false;
        return document_.LoadFromString(text.c_str());
      }
    }
  }
  return document_.LoadFromFile(source);
}

Control* MarkupBuilder::Build(const wchar_t* source, CustomControlFactory factory, Window* window, Control* parent,
                              Box* box) {
  sourceKey_ = SourceKey(source);
  if (!Load(source)) {
    factory_ = nullptr;
    return nullptr;
  }
  return BuildParsed(std::move(factory), window, parent, box);
}

Control* MarkupBuilder::BuildParsed(CustomControlFactory factory, Window* window, Control* parent, Box* box) {
  factory_ = std::move(factory);
  if (document_.GetNodeCount() <= 1) {
    factory_ = nullptr;
    return nullptr;
  }
  SourceInProgress inProgress(sourceKey_);
  MarkupNode root = document_.GetRoot();
  if (!root.IsValid()) return nullptr;
  if (window) {
    const std::wstring rootName = root.GetName();
    if (rootName == L"Global") {
      ApplyGlobalRoot(root);
    } else if (rootName == L"Window") {
      if (window->GetHwnd() && IsWindow(window->GetHwnd())) ApplyWindowRoot(root, window);
      for (MarkupNode child = root.GetFirstChild(); child.IsValid(); child = child.GetNextSibling()) {
        if (wcscmp(child.GetName(), L"Class") != 0) continue;
        const std::wstring name = AttributeOf(child, L"name");
        if (!name.empty()) window->SetClassAttributes(name, ClassText(child));
      }
    }
  }
  MarkupNode first = root.GetFirstChild();
  while (first.IsValid() && IsResourceElement(first.GetName())) first = first.GetNextSibling();
  if (!first.IsValid()) return nullptr;
  if (box) {
    for (const auto& attribute : AttributesOf(first)) box->ApplyAttribute(attribute.first, attribute.second);
    BuildChildren(first, box, window);
    return box;
  }
  return BuildChildren(root, parent, window);
}

void MarkupBuilder::ApplyGlobalRoot(MarkupNode& root) {
  for (const auto& attribute : AttributesOf(root)) {
    const std::wstring& name = attribute.first;
    const std::wstring& value = attribute.second;
    if (name == L"defaultfontcolor") {
      UiRuntime::SetDefaultTextColor(value);
    } else if (name == L"disabledfontcolor") {
      UiRuntime::SetDefaultDisabledTextColor(value);
    } else if (name == L"linkfontcolor" || name == L"linkhoverfontcolor" || name == L"selectedcolor") {
      // The colour is only made known; an entry the skin already set stays.
      if (UiRuntime::GetColor(value) == 0) UiRuntime::SetColor(value, 0);
    }
  }
  for (MarkupNode child = root.GetFirstChild(); child.IsValid(); child = child.GetNextSibling()) {
    const std::wstring element = child.GetName();
    if (element == L"Font") {
      bool hasSize = false;
      const std::wstring face = AttributeOf(child, L"name");
      const std::wstring size = AttributeOf(child, L"size", &hasSize);
      if (face.empty()) continue;
      UiRuntime::RegisterFont(AttributeOf(child, L"id"), face, hasSize ? LeadingInt(size) : 12,
                              AttributeOf(child, L"bold") == L"true", AttributeOf(child, L"underline") == L"true",
                              AttributeOf(child, L"italic") == L"true", AttributeOf(child, L"default") == L"true");
    } else if (element == L"TextColor") {
      const std::wstring name = AttributeOf(child, L"name");
      const std::wstring value = AttributeOf(child, L"value");
      // Without colour text there is nothing to read: the entry is left as it was.
      if (name.empty() || value.empty()) continue;
      UiRuntime::SetColor(name, ParseColorValue(value));
    } else if (element == L"Class") {
      const std::wstring name = AttributeOf(child, L"name");
      if (!name.empty()) UiRuntime::SetClassAttributes(name, ClassText(child));
    }
  }
}

void MarkupBuilder::ApplyWindowRoot(MarkupNode& root, Window* window) {
  DpiScale& dpi = DpiScale::Instance();
  const HWND hwnd = window->GetHwnd();
  for (const auto& attribute : AttributesOf(root)) {
    const std::wstring& name = attribute.first;
    const std::wstring& value = attribute.second;
    WindowShadow& shadow = window->GetShadow();
    const Rect padding = PaddingOf(window);
    if (name == L"size") {
      const Size size = NumberPair(value);
      window->SetInitialSize(size.cx, size.cy, false, true);
    } else if (name == L"edging") {
      window->SetEdging(ScaledRect(value));
    } else if (name == L"expand") {
      const Size inset = NumberPair(value);
      Size owner;
      if (OwnerVisibleSize(hwnd, &owner)) window->SetInitialSize(owner.cx - inset.cx, owner.cy - inset.cy, false, false);
    } else if (name == L"heightpercent") {
      const double fraction = wcstod(value.c_str(), nullptr);
      window->SetHeightPercent(fraction);
      HMONITOR monitor = MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY);
      MONITORINFO info = {};
      info.cbSize = sizeof info;
      if (!GetMonitorInfoW(monitor, &info)) continue;
      const int vertical = padding.top + padding.bottom;
      const int horizontal = padding.left + padding.right;
      int height = static_cast<int>((info.rcWork.bottom - info.rcWork.top) * fraction);
      const Size minSize = window->GetMinSize();
      const Size maxSize = window->GetMaxSize();
      if (minSize.cy != 0) height = std::max(height, minSize.cy - vertical);
      if (maxSize.cy != 0) height = std::min(height, maxSize.cy - vertical);
      const int width = window->GetInitialSize().cx;
      window->SetInitialSize(width == 0 ? 0 : width - horizontal, height, false, false);
    } else if (name == L"sizebox") {
      window->SetSizeBox(ParseRectNumbers(value));
    } else if (name == L"caption") {
      window->SetCaption(ScaledRect(value));
    } else if (name == L"textid") {
      SetWindowTextW(hwnd, LanguageTable::Instance()->Lookup(value).c_str());
    } else if (name == L"roundcorner") {
      const Size corner = NumberPair(value);
      window->SetRoundCorner(Size{dpi.ScaleValue(corner.cx), dpi.ScaleValue(corner.cy)});
    } else if (name == L"mininfo" || name == L"maxinfo") {
      Size size = NumberPair(value);
      size.cx = dpi.ScaleValue(size.cx);
      size.cy = dpi.ScaleValue(size.cy);
      if (size.cx != 0) size.cx += padding.left + padding.right;
      if (size.cy != 0) size.cy += padding.top + padding.bottom;
      if (name == L"mininfo") {
        window->SetMinSize(size);
      } else {
        window->SetMaxSize(size);
      }
    } else if (name == L"shadowattached") {
      shadow.attached = value == L"true";
    } else if (name == L"shadowimage") {
      shadow.image = value;
      shadow.roundCorner = false;
    } else if (name == L"shadowcorner") {
      shadow.basePadding = ParseRectNumbers(value);
      shadow.padding = ScaledRect(value);
      shadow.savedPadding = shadow.padding;
    } else if (name == L"alphafixcorner" || name == L"custom_shadow") {
      window->SetAlphaFixRect(ScaledRect(value));
    }
  }
}

void MarkupBuilder::BuildInclude(MarkupNode& node, Control* parent, Window* window) {
  if (node.GetAttributeCount() == 0) return;
  bool hasCount = false;
  const std::wstring countText = AttributeOf(node, L"count", &hasCount);
  const int count = hasCount ? LeadingInt(countText) : 1;
  std::wstring source = AttributeOf(node, L"source");
  if (source.empty()) return;
  if (source.size() > 499) source.resize(499);
  // An Include of a source already being built would never end; nor would a chain of
  // distinct files without a bound.
  const auto& inProgress = SourcesInProgress();
  if (inProgress.size() >= static_cast<size_t>(kMaxIncludeDepth)) return;
  if (std::find(inProgress.begin(), inProgress.end(), SourceKey(source.c_str())) != inProgress.end()) return;
  for (int i = 0; i < count; ++i) {
    MarkupBuilder included;
    included.Build(source.c_str(), factory_, window, parent, nullptr);
  }
}

Control* MarkupBuilder::BuildChildren(MarkupNode& node, Control* parent, Window* window) {
  Control* result = nullptr;
  for (MarkupNode child = node.GetFirstChild(); child.IsValid(); child = child.GetNextSibling()) {
    const std::wstring name = child.GetName();
    if (IsResourceElement(name)) continue;
    if (name == L"Include") {
      BuildInclude(child, parent, window);
      continue;
    }
    Control* control = CreateBuiltinControl(name);
    if (!control) {
      if (name == L"Event" || name == L"BubbledEvent") {
        // Under the root element there is no enclosing control to bind to.
        if (node.GetIndex() != 1) BindMarkupEvents(name == L"BubbledEvent", child, parent);
        continue;
      }
      if (const CustomControlFactory& global = UiRuntime::GetCustomControlFactory()) control = global(name);
      if (!control && factory_) control = factory_(name);
      if (!control) continue;
    }
    control->SetOwnerWindow(window);
    for (const auto& attribute : AttributesOf(child)) control->ApplyAttribute(attribute.first, attribute.second);
    if (child.GetFirstChild().IsValid()) BuildChildren(child, control, window);
    if (parent) {
      Box* box = dynamic_cast<Box*>(parent);
      if (!box) {
        // Only a box takes children: the rest of this level is not built.
        delete control;
        break;
      }
      if (!box->AddChild(control)) {
        delete control;
        continue;
      }
      if (!result) result = control;
    } else if (!result) {
      result = control;
    } else {
      // Without a parent only the first control is handed back; the others would be lost.
      delete control;
    }
  }
  return result;
}

Control* MarkupBuilder::CreateBuiltinControl(const std::wstring& elementName) {
  if (elementName == L"Control") return new Control();
  if (elementName == L"Box") return new Box(new Layout());
  if (elementName == L"HBox") return new HBox();
  if (elementName == L"VBox") return new VBox();
  if (elementName == L"TileBox") return new TileBox();
  if (elementName == L"Label") return new LabelTemplate<Control>();
  if (elementName == L"LabelBox") return new LabelTemplate<Box>();
  if (elementName == L"Button") return new ButtonTemplate<Control>();
  if (elementName == L"ButtonBox") return new ButtonTemplate<Box>();
  if (elementName == L"CheckBox") return new CheckBoxTemplate<Control>();
  if (elementName == L"CheckBoxBox") return new CheckBoxTemplate<Box>();
  if (elementName == L"Option") return new OptionTemplate<Control>();
  if (elementName == L"OptionBox") return new OptionTemplate<Box>();
  if (elementName == L"ScrollBar") return new ScrollBar();
  if (elementName == L"RichEdit") return new RichEdit();
  // Lists.
  if (elementName == L"ListContainerElement") return new ListContainerElement();
  if (elementName == L"ListBox") return new ListBox(new Layout());
  if (elementName == L"VListBox") return new ListBox(new VLayout());
  if (elementName == L"HListBox") return new ListBox(new HLayout());
  if (elementName == L"TileListBox") return new ListBox(new TileLayout());
  if (elementName == L"TreeView") return new TreeView();
  if (elementName == L"TreeNode") return new TreeNode();
  if (elementName == L"VirtualListBox") return new VirtualListBox();
  // Pages, fragments, value controls and the combo.
  if (elementName == L"ChildBox") return new ChildBox();
  if (elementName == L"TabBox") return new TabBox(new Layout());
  if (elementName == L"HTabBox") return new TabBox(new HLayout());
  if (elementName == L"VTabBox") return new TabBox(new VLayout());
  if (elementName == L"Progress") return new Progress();
  if (elementName == L"Slider") return new Slider();
  if (elementName == L"CircleProgress") return new CircleProgress();
  if (elementName == L"Combo") return new Combo();
  return nullptr;
}

void MarkupBuilder::BindMarkupEvents(bool bubbled, MarkupNode& node, Control* control) {
  if (!control) return;
  const auto types = SplitString(AttributeOf(node, L"type"), L" ");
  const auto receivers = SplitString(AttributeOf(node, L"receiver"), L" ");
  const std::wstring attributes = AttributeOf(node, L"applyattribute");
  Box* box = bubbled ? dynamic_cast<Box*>(control) : nullptr;
  if (bubbled && !box) return;
  for (const std::wstring& type : types) {
    if (type.empty()) continue;
    for (const std::wstring& receiver : receivers) {
      if (receiver.empty()) continue;
      EventHandler handler = control->MakeWeakCallback(
          [control, receiver, attributes](EventArgs* args) { return control->OnMarkupEvent(receiver, attributes, args); });
      if (box) {
        box->AddMarkupBubbledEventHandler(EventTypeFromName(type), std::move(handler));
      } else {
        control->AddMarkupEventHandler(EventTypeFromName(type), std::move(handler));
      }
    }
  }
}

}  // namespace ui
