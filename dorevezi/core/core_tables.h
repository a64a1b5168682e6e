#pragma once

// The launcher's language table (the skin carries one text file per language code) and the
// four fonts it installs from its own resources.

#include <windows.h>

#include <cstdint>

enum Language : int32_t {
  kLanguageEn = 0,
  kLanguageZhCn = 1,
  kLanguageJa = 2,
  kLanguageKo = 3,
  kLanguageZhTw = 4,
  kLanguageVi = 5,
  kLanguageFr = 6,
  kLanguageId = 7,
  kLanguageIt = 8,
  kLanguageEs = 9,
  kLanguageTr = 10,
  kLanguageTh = 11,
  kLanguagePtBr = 12,
  kLanguageAr = 13,
  kLanguageRu = 14,
  kLanguageDe = 15,
  kLanguagePl = 16,
  kLanguageMs = 17,
};
constexpr int32_t kLanguageCount = 18;

// Indexed by Language.
extern const char* const kLanguageCodes[kLanguageCount];
extern const char* const kLanguageNameKeys[kLanguageCount];

// The row whose locale identifiers list `locale`; kLanguageEn for any other identifier.
Language LanguageForLocale(LCID locale);
// The row whose code equals `code` exactly; false when none does.
bool FindLanguageByCode(const char* code, Language& language);

struct ResourceFont {
  const wchar_t* face;
  const wchar_t* registryValueName;
  const wchar_t* fileName;
  int32_t resourceId;  // in the "FONTS" resource type
};
constexpr int32_t kResourceFontCount = 4;
extern const ResourceFont kResourceFonts[kResourceFontCount];
