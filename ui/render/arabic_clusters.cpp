#include "ui/render/arabic_clusters.h"

#include <cstddef>
#include <cstdint>

namespace ui {
namespace {

// Letter, isolated, initial, medial and final presentation forms (0: no such form).
// Only the letter column and whether a form exists are read.
const uint16_t kArabicLetterForms[37][5] = {
    {0x0621, 0xFE80, 0, 0, 0},           {0x0622, 0xFE81, 0, 0, 0xFE82},      {0x0623, 0xFE83, 0, 0, 0xFE84},
    {0x0624, 0xFE85, 0, 0, 0xFE86},      {0x0625, 0xFE87, 0, 0, 0xFE88},      {0x0626, 0xFE89, 0xFE8B, 0xFE8C, 0xFE8A},
    {0x0627, 0xFE8D, 0, 0, 0xFE8E},      {0x0628, 0xFE8F, 0xFE91, 0xFE92, 0xFE90}, {0x0629, 0xFE93, 0, 0, 0xFE94},
    {0x062A, 0xFE95, 0xFE97, 0xFE98, 0xFE96}, {0x062B, 0xFE99, 0xFE9B, 0xFE9C, 0xFE9A},
    {0x062C, 0xFE9D, 0xFE9F, 0xFEA0, 0xFE9E}, {0x062D, 0xFEA1, 0xFEA3, 0xFEA4, 0xFEA2},
    {0x062E, 0xFEA5, 0xFEA7, 0xFEA8, 0xFEA6}, {0x062F, 0xFEA9, 0, 0, 0xFEAA},      {0x0630, 0xFEAB, 0, 0, 0xFEAC},
    {0x0631, 0xFEAD, 0, 0, 0xFEAE},      {0x0632, 0xFEAF, 0, 0, 0xFEB0},      {0x0633, 0xFEB1, 0xFEB3, 0xFEB4, 0xFEB2},
    {0x0634, 0xFEB5, 0xFEB7, 0xFEB8, 0xFEB6}, {0x0635, 0xFEB9, 0xFEBB, 0xFEBC, 0xFEBA},
    {0x0636, 0xFEBD, 0xFEBF, 0xFEC0, 0xFEBE}, {0x0637, 0xFEC1, 0xFEC3, 0xFEC4, 0xFEC2},
    {0x0638, 0xFEC5, 0xFEC7, 0xFEC8, 0xFEC6}, {0x0639, 0xFEC9, 0xFECB, 0xFECC, 0xFECA},
    {0x063A, 0xFECD, 0xFECF, 0xFED0, 0xFECE}, {0x0640, 0x0640, 0, 0, 0},
    {0x0641, 0xFED1, 0xFED3, 0xFED4, 0xFED2}, {0x0642, 0xFED5, 0xFED7, 0xFED8, 0xFED6},
    {0x0643, 0xFED9, 0xFEDB, 0xFEDC, 0xFEDA}, {0x0644, 0xFEDD, 0xFEDF, 0xFEE0, 0xFEDE},
    {0x0645, 0xFEE1, 0xFEE3, 0xFEE4, 0xFEE2}, {0x0646, 0xFEE5, 0xFEE7, 0xFEE8, 0xFEE6},
    {0x0647, 0xFEE9, 0xFEEB, 0xFEEC, 0xFEEA}, {0x0648, 0xFEED, 0, 0, 0xFEEE},      {0x0649, 0xFEEF, 0, 0, 0xFEF0},
    {0x064A, 0xFEF1, 0xFEF3, 0xFEF4, 0xFEF2},
};

const uint16_t kArabicMarks[39] = {
    0x0610, 0x0612, 0x0613, 0x0614, 0x0615, 0x064B, 0x064C, 0x064D, 0x064E, 0x064F, 0x0650, 0x0651, 0x0652,
    0x0653, 0x0654, 0x0655, 0x0656, 0x0657, 0x0658, 0x0670, 0x06D6, 0x06D7, 0x06D8, 0x06D9, 0x06DA, 0x06DB,
    0x06DC, 0x06DF, 0x06E0, 0x06E1, 0x06E2, 0x06E3, 0x06E4, 0x06E7, 0x06E8, 0x06EA, 0x06EB, 0x06EC, 0x06ED,
};

constexpr wchar_t kTatweel = 0x0640;
constexpr wchar_t kLam = 0x0644;
enum Form { kIsolated = 1, kInitial = 2, kMedial = 3, kFinal = 4 };

const uint16_t* FindLetter(wchar_t c) {
  for (const auto& row : kArabicLetterForms)
    if (row[0] == c) return row;
  return nullptr;
}

bool IsMark(wchar_t c) {
  for (uint16_t mark : kArabicMarks)
    if (mark == c) return true;
  return false;
}

bool JoinsForward(wchar_t c) {
  const uint16_t* row = FindLetter(c);
  return row && (row[kInitial] || row[kMedial]);
}

bool JoinsBackward(wchar_t c) {
  if (c == kTatweel) return true;
  const uint16_t* row = FindLetter(c);
  return row && (row[kMedial] || row[kFinal]);
}

bool IsAlefAfterLam(wchar_t c) { return c == 0x0622 || c == 0x0623 || c == 0x0625 || c == 0x0627; }

// The nearest character that is not a combining mark, searching within the line only;
// npos when there is none.
size_t NeighbourAfter(const std::wstring& line, size_t i) {
  for (size_t j = i + 1; j < line.size(); ++j)
    if (!IsMark(line[j])) return j;
  return std::wstring::npos;
}

size_t NeighbourBefore(const std::wstring& line, size_t i) {
  for (size_t j = i; j-- > 0;)
    if (!IsMark(line[j])) return j;
  return std::wstring::npos;
}

}  // namespace

std::vector<std::wstring> SplitArabicClusters(const std::wstring& line) {
  std::vector<std::wstring> units;
  std::wstring run;  // letters joined so far, not yet emitted
  auto flush = [&]() {
    if (!run.empty()) units.push_back(std::move(run));
    run.clear();
  };
  for (size_t i = 0; i < line.size(); ++i) {
    const wchar_t c = line[i];
    if (IsMark(c)) {
      // A mark belongs to what precedes it: the pending run or the last unit.
      if (!run.empty()) run += c;
      else if (!units.empty()) units.back() += c;
      else units.push_back(std::wstring(1, c));
      continue;
    }
    const uint16_t* letter = FindLetter(c);
    if (!letter) {
      flush();
      size_t length = 1;
      // A surrogate pair is one character.
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < line.size() && line[i + 1] >= 0xDC00 && line[i + 1] <= 0xDFFF) length = 2;
      units.push_back(line.substr(i, length));
      i += length - 1;
      continue;
    }
    const size_t before = NeighbourBefore(line, i), after = NeighbourAfter(line, i);
    const bool joinedBefore = before != std::wstring::npos && JoinsForward(line[before]);
    const bool joinsAfter = after != std::wstring::npos && JoinsBackward(line[after]);
    if (c == kLam && after != std::wstring::npos && IsAlefAfterLam(line[after])) {
      // Lam-alef is one ligature: the run ends with the lam, the marks between and the alef.
      if (!joinedBefore) flush();
      run.append(line, i, after - i + 1);
      flush();
      i = after;
      continue;
    }
    if (joinedBefore && (letter[kMedial] || letter[kFinal] || c == kTatweel)) {
      run += c;
      // A tatweel has no forms of its own in the table: it ends the run it stretches.
      if (!(letter[kMedial] && joinsAfter)) flush();
      continue;
    }
    flush();
    run += c;
    if (!(letter[kInitial] && joinsAfter)) flush();
  }
  flush();
  return units;
}

}  // namespace ui
