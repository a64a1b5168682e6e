#include "ui/core/control.h"
#include "ui/resources/language_table.h"

namespace ui {

std::wstring LookUpLanguageText(const std::wstring& key) { return LanguageTable::Instance()->Lookup(key); }

}  // namespace ui
