// The runtime's markup builds: the global markup and the builder cache, which keeps one parsed
// builder per path for the life of the process so a fragment built often is parsed once.

#include <map>
#include <memory>

#include "ui/core/box.h"
#include "ui/core/window.h"
#include "ui/markup/markup_builder.h"
#include "ui/resources/ui_runtime.h"

namespace ui {

namespace {

std::map<std::wstring, std::unique_ptr<MarkupBuilder>>& BuilderCache() {
  static std::map<std::wstring, std::unique_ptr<MarkupBuilder>> cache;
  return cache;
}

// A build handed back something other than a box: the caller wants a box, and nobody else
// holds the control.
Box* AsBoxOrDelete(Control* control) {
  Box* box = dynamic_cast<Box*>(control);
  if (control && !box) delete control;
  return box;
}

}  // namespace

void UiRuntime::LoadGlobalMarkup() {
  // A window that is never shown only receives the tables; "Global" fills the runtime's.
  Window scratch;
  MarkupBuilder builder;
  delete builder.Build(L"global.xml", nullptr, &scratch, nullptr, nullptr);
}

Box* UiRuntime::BuildBoxCached(const std::wstring& xmlPath, CustomControlFactory factory) {
  auto& cache = BuilderCache();
  auto it = cache.find(xmlPath);
  if (it != cache.end()) return AsBoxOrDelete(it->second->BuildParsed(std::move(factory), nullptr, nullptr, nullptr));
  auto builder = std::make_unique<MarkupBuilder>();
  Box* box = AsBoxOrDelete(builder->Build(xmlPath.c_str(), std::move(factory), nullptr, nullptr, nullptr));
  if (box) cache[xmlPath] = std::move(builder);
  return box;
}

void UiRuntime::PopulateBox(Box* box, const std::wstring& xmlPath, CustomControlFactory factory) {
  if (!box) return;
  MarkupBuilder builder;
  builder.Build(xmlPath.c_str(), std::move(factory), box->GetOwnerWindow(), nullptr, box);
}

void UiRuntime::PopulateBoxCached(Box* box, const std::wstring& xmlPath, CustomControlFactory factory) {
  if (!box) return;
  auto& cache = BuilderCache();
  auto it = cache.find(xmlPath);
  if (it != cache.end()) {
    it->second->BuildParsed(std::move(factory), box->GetOwnerWindow(), nullptr, box);
    return;
  }
  auto builder = std::make_unique<MarkupBuilder>();
  if (builder->Build(xmlPath.c_str(), std::move(factory), box->GetOwnerWindow(), nullptr, box)) {
    cache[xmlPath] = std::move(builder);
  }
}

}  // namespace ui
