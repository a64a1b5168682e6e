#include "dorevezi/core/core_tables.h"

#include <cstring>
#include <initializer_list>

const char* const kLanguageCodes[kLanguageCount] = {
    "en", "zh_CN", "ja", "ko",    "zh_TW", "vi", "fr", "id", "it",
    "es", "tr",    "th", "pt_BR", "ar",    "ru", "de", "pl", "ms",
};

const char* const kLanguageNameKeys[kLanguageCount] = {
    "STRING_LANG_ENGLAND",   "STRING_LANG_CHINA",      "STRING_LANG_JAPANESE", "STRING_LANG_KOREAN",
    "STRING_LANG_TAIWAN",    "STRING_LANG_VIETNAMESE", "STRING_LANG_FRENCH",   "STRING_LANG_INDONESIAN",
    "STRING_LANG_ITALIAN",   "STRING_LANG_SPAISH",     "STRING_LANG_TURKIC",   "STRING_LANG_THAI",
    "STRING_LANG_PORTGUESE", "STRING_LANG_ARABIC",     "STRING_LANG_RUSSIAN",  "STRING_LANG_GERMAN",
    "STRING_LANG_POLISH",    "STRING_LANG_MALAY",
};

const ResourceFont kResourceFonts[kResourceFontCount] = {
    {L"Loma", L"Loma (TrueType)", L"LomaN.ttf", 138},
    {L"Loma Bold", L"Loma Bold (TrueType)", L"LomaB.ttf", 139},
    {L"思源黑体 CN Regular", L"思源黑体 CN Regular (TrueType)", L"SourceHanSansCNRegular.ttf", 143},
    {L"思源黑体 CN Bold", L"思源黑体 CN Bold (TrueType)", L"SourceHanSansCNBold.ttf", 142},
};

namespace {

struct LocaleRow {
  Language language;
  std::initializer_list<LCID> locales;
};

// Windows locale identifiers that select a language on a first run.
const LocaleRow kLocaleRows[] = {
    {kLanguageZhCn, {2052, 133124}},
    {kLanguageJa, {1041}},
    {kLanguageKo, {1042}},
    {kLanguageZhTw, {1028, 3076, 4100, 5124, 197636}},
    {kLanguageVi, {1066}},
    {kLanguageFr, {1036}},
    {kLanguageId, {1057}},
    {kLanguageIt, {1040, 2064}},
    {kLanguageEs, {1034,  2058,  3082,  4106,  5130,  6154,  7178,  8202,  9226,  10250,
                   11274, 12298, 13322, 14346, 15370, 16394, 17418, 18442, 19466, 20490}},
    {kLanguageTr, {1055}},
    {kLanguageTh, {1054}},
    {kLanguagePtBr, {1046, 2070}},
    {kLanguageAr, {2049, 3073, 4097, 5121, 6145, 11265, 12289, 13313, 14337, 15361}},
    {kLanguageRu, {1049}},
    {kLanguageDe, {1031, 2055, 3079, 4103, 5127, 66567}},
    {kLanguagePl, {1045}},
    {kLanguageMs, {1086, 2110}},
};

}  // namespace

Language LanguageForLocale(LCID locale) {
  for (const LocaleRow& row : kLocaleRows) {
    for (LCID id : row.locales) {
      if (id == locale) return row.language;
    }
  }
  return kLanguageEn;
}

bool FindLanguageByCode(const char* code, Language& language) {
  if (!code) return false;
  for (int32_t i = 0; i < kLanguageCount; ++i) {
    if (std::strcmp(kLanguageCodes[i], code) == 0) {
      language = static_cast<Language>(i);
      return true;
    }
  }
  return false;
}
