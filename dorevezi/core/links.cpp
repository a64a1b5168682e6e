// The pause toggle of all downloads and the opening of configured links.

#include "dorevezi/core/links.h"

#include "base/thread_registry.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/shell_functions.h"
#include "dorevezi/update/download_manager.h"
#include "ui/core/string_util.h"

namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  size_t i = 0;
  for (; prefix[i]; ++i) {
    if (i >= text.size()) return false;
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

bool IsOpenableWebAddress(const std::string& url) {
  size_t schemeLength = 0;
  if (StartsWithNoCase(url, "https://")) {
    schemeLength = 8;
  } else if (StartsWithNoCase(url, "http://")) {
    schemeLength = 7;
  } else {
    return false;
  }
  if (url.size() == schemeLength || url[schemeLength] == '/') return false;
  for (unsigned char c : url) {
    if (c < 0x20 || c == 0x7f) return false;
    // The shell puts the address into the browser's command line: a quotation mark or a blank
    // would end the argument and start others, and the rest are the command processor's own.
    if (c == '"' || c == ' ' || c == '<' || c == '>' || c == '^' || c == '|') return false;
  }
  return true;
}

bool ResolveLinkTarget(const std::string& text, bool byName, std::string& url) {
  url.clear();
  if (text.empty()) return false;
  if (byName) {
    const auto& links = DoreveziCore::GetInstance().links;
    const auto found = links.find(text);
    if (found == links.end()) return false;
    url = found->second;
  } else {
    url = text;
  }
  return IsOpenableWebAddress(url);
}

void DoreveziCore::TogglePauseDownloads() {
  base::ThreadRegistry::PostTask(base::kThreadIdMisc, [] {
    DownloadManager& manager = DownloadManager::GetInstance();
    if (manager.paused) {
      manager.ContinueAll();
    } else {
      manager.PauseAll();
    }
  });
}

void DoreveziCore::OpenLink(const std::string& text, bool byName) {
  HWND owner = mainWindow;
  if (!owner) return;
  std::string url;
  if (!ResolveLinkTarget(text, byName, url)) return;
  std::wstring wide;
  if (!ui::Utf8ToWide(url.c_str(), wide)) return;
  GetShellFunctions().shellExecute(owner, L"open", wide.c_str(), nullptr, nullptr, SW_SHOW);
}
