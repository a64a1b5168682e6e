#include "ui/core/control.h"

// The language table is not part of the framework yet: every key reads as empty text.
namespace ui {

std::wstring LookUpLanguageText(const std::wstring& /*key*/) { return std::wstring(); }

}  // namespace ui
