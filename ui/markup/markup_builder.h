#pragma once

// Turns a skin markup document into a tree of controls, and reads the skin's shared
// resources: fonts, text colours and classes of "global.xml", the window properties on a
// layout file's "Window" root, the window's own classes. UI thread only.

#include <string>

#include "ui/core/events.h"
#include "ui/markup/markup_document.h"
#include "ui/resources/ui_runtime.h"

namespace ui {

class Box;
class Control;
class Window;

// Includes nested deeper than this add nothing: a chain of distinct files cannot run away.
constexpr int kMaxIncludeDepth = 16;

class MarkupBuilder {
 public:
  MarkupBuilder() = default;
  MarkupBuilder(const MarkupBuilder&) = delete;
  MarkupBuilder& operator=(const MarkupBuilder&) = delete;

  // Loads source (markup text starting with "<", else a file below the resource root, read
  // from the resource zip when it holds the entry) and builds it. window: whose classes,
  // properties and controls are concerned (it may have no native window); parent: where the
  // built controls go (may be null); box: a box to populate instead (may be null). Returns the
  // built control, the box itself when populating, or null.
  Control* Build(const wchar_t* source, CustomControlFactory factory, Window* window, Control* parent, Box* box);
  // The same from the document parsed by an earlier Build; the document is left as it is.
  Control* BuildParsed(CustomControlFactory factory, Window* window, Control* parent, Box* box);
  // Builds the child elements of node into parent: the first control added, or without a
  // parent the first one created (the others are deleted).
  Control* BuildChildren(MarkupNode& node, Control* parent, Window* window);
  // The control of a framework element name; null for every other name.
  static Control* CreateBuiltinControl(const std::wstring& elementName);
  // Binds the handlers of an "Event" (or, bubbled, a "BubbledEvent") element to control.
  static void BindMarkupEvents(bool bubbled, MarkupNode& node, Control* control);

  MarkupDocument& GetDocument() { return document_; }

 private:
  bool Load(const wchar_t* source);
  void ApplyGlobalRoot(MarkupNode& root);
  void ApplyWindowRoot(MarkupNode& root, Window* window);
  void BuildInclude(MarkupNode& node, Control* parent, Window* window);

  MarkupDocument document_;
  CustomControlFactory factory_;
  // What Build loaded, so an Include of it (directly or through others) is recognised.
  std::wstring sourceKey_;
};

// The event a markup "type" name stands for; kEventUnknown for any other name.
EventType EventTypeFromName(const std::wstring& name);

}  // namespace ui
