#include "dorevezi/core/language_texts.h"

#include <windows.h>

#include <memory>
#include <utility>

#include "ui/core/string_util.h"

namespace {

// One entry a line, key and text: read by the tests too.
const std::map<std::string, std::wstring>& BuiltInTexts() {
  static const std::map<std::string, std::wstring> texts = {
      {"STRING_CANCEL", L"取消"},
      {"STRING_CONFIRM", L"确定"},
      {"STRING_DOWNLOAD_CONTINUE", L"继续下载"},
      {"STRING_ERROR_CHECK_GAME_FAILED", L"游戏文件检查失败，请修复游戏后重试。"},
      {"STRING_ERROR_EXCEED_MAX_GAME_INSTANCE", L"游戏已在运行中。"},
      {"STRING_ERROR_DLC_CLOSE", L"预下载尚未完成，本次更新将下载其余文件。"},
      {"STRING_ERROR_DLC_FIRST", L"请先将游戏更新到最新版本，再进行预下载。"},
      {"STRING_ERROR_DLC_LAST", L"当前游戏已是最新版本，无需预下载。"},
      {"STRING_ERROR_DLC_OUTDATED", L"预下载版本已过期，请先更新游戏。"},
      {"STRING_ERROR_INVALID_DISKSPACE", L"无法读取磁盘剩余空间，将继续进行。"},
      {"STRING_ERROR_NEED_DISKSPACE", L"磁盘剩余空间不足%ls，请清理磁盘后再安装。"},
      {"STRING_ERROR_NEED_DISKSPACE_R", L"{p1}盘剩余空间不足{p2}，是否继续下载？"},
      {"STRING_ERROR_NOTICE", L"提示"},
      {"STRING_ERROR_RETRY", L"重试"},
      {"STRING_ERROR_UPDATE", L"更新失败，请检查网络后重试。"},
      {"STRING_UPDATE_DOREVEZI", L"启动器已更新，重新启动后生效。"},
      {"STRING_UPDATE_NOTICE", L"更新提示"},
  };
  return texts;
}

// The table is swapped whole under the lock; readers copy their one text out under it.
SRWLOCK g_lock = SRWLOCK_INIT;
std::shared_ptr<const std::map<std::string, std::wstring>>& Table() {
  static std::shared_ptr<const std::map<std::string, std::wstring>> table =
      std::make_shared<const std::map<std::string, std::wstring>>(BuiltInTexts());
  return table;
}

}  // namespace

std::wstring LookupLanguageText(const std::string& key) {
  std::shared_ptr<const std::map<std::string, std::wstring>> table;
  AcquireSRWLockShared(&g_lock);
  table = Table();
  ReleaseSRWLockShared(&g_lock);
  auto found = table->find(key);
  return found == table->end() ? std::wstring() : found->second;
}

std::string LookupLanguageTextUtf8(const std::string& key) {
  std::string text;
  ui::WideToMultiByte(LookupLanguageText(key), text, CP_UTF8);
  return text;
}

void ReplaceLanguageTexts(std::map<std::string, std::wstring> texts) {
  auto table = std::make_shared<const std::map<std::string, std::wstring>>(std::move(texts));
  AcquireSRWLockExclusive(&g_lock);
  Table().swap(table);
  ReleaseSRWLockExclusive(&g_lock);
}

void ResetLanguageTexts() {
  ReplaceLanguageTexts(BuiltInTexts());
}
