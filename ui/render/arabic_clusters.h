#pragma once

#include <string>
#include <vector>

namespace ui {

// Cuts one line of Arabic text into drawing units: letters that join each other stay in
// one unit, combining marks stay with the letter before them, lam-alef stays whole, and
// every other character is a unit of its own. The units cover each character of the line
// exactly once, in logical order.
std::vector<std::wstring> SplitArabicClusters(const std::wstring& line);

}  // namespace ui
