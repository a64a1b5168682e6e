// The state base: request routing, the gate and patch paths, the update error box, and the
// factories of the states built later in the engine.

#include "dorevezi/update/state.h"

#include <atomic>
#include <cctype>
#include <memory>
#include <utility>

#include "base/thread_registry.h"
#include "dorevezi/core/core_dialogs.h"
#include "dorevezi/core/network_identity.h"
#include "dorevezi/update/download_manager.h"
#include "dorevezi/update/http_requests.h"
#include "ui/core/string_util.h"
#include "ui/resources/language_table.h"

namespace {

void ReportDoreveziEvent(const std::string& printInfo, const std::string& speed, const std::string& size,
                         const std::string& actionType, const std::string& step, bool immediately) {
  DoreveziCore::GetInstance().ReportDoreveziEvent(printInfo, speed, size, actionType, step, immediately);
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Stands for a state whose code is not built yet: the flow rests in it.
class RestingState : public State {
 public:
  RestingState(StateId id, FlowMode flow) : State(flow), id_(id) {}
  StateId GetStateId() const override { return id_; }
  void OnEnter(State*) override {}
  void OnTick() override {}
  void OnExit(State*) override {}

 private:
  StateId id_;
};

LaterStateFactory g_laterFactories[kStatePreDownload + 1] = {};

State* CurrentStateWithId(int32_t id) {
  State* state = DoreveziCore::GetInstance().currentState;
  return state && state->GetStateId() == id ? state : nullptr;
}

std::wstring Utf8ToWideText(const std::string& text) {
  std::wstring wide;
  ui::MultiByteToWide(text, wide, CP_UTF8);
  return wide;
}

std::wstring Widen(const std::string& ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

}  // namespace

uint64_t NextStateSerial() {
  static std::atomic<uint64_t> next{1};
  return next++;
}

std::string State::GetPatchUrl(const std::string& name) const {
  const VersionTexts versions = DoreveziCore::GetInstance().GetVersionTexts();
  std::string version = flowMode == kFlowGame ? versions.localGameVersion : versions.doreveziVersion;
  if (flowMode != kFlowGame) {
    for (char& c : version) {
      if (c == '.') c = '_';
    }
  }
  return "patchs/" + version + "/" + name;
}

std::wstring State::ErrorBoxDetail() const {
  std::wstring detail = Utf8ToWideText(errorText);
  if (errorCode != 0) detail = std::to_wstring(errorCode) + L"\n" + detail;
  if (!errorDetail.empty()) detail += L"(" + Utf8ToWideText(errorDetail) + L")";
  return detail;
}

void State::ShowErrorBox(const std::string& noKey, const std::string& yesKey, std::function<void(int)> onResult) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  const std::wstring detail = ErrorBoxDetail();
  std::string detailUtf8;
  ui::WideToMultiByte(detail, detailUtf8, CP_UTF8);
  ReportDoreveziEvent(detailUtf8, "", "", "exception", "", true);
  core.errorBoxShowing = true;
  MessageBoxRequest request;
  request.title.key = L"STRING_ERROR_NOTICE";
  request.content.literal = ui::LanguageTable::Instance()->Lookup(L"STRING_ERROR_UPDATE");
  request.detail.literal = detail;
  request.noKey = Widen(noKey);
  request.yesKey = Widen(yesKey);
  // The answer is given on the UI thread; the engine acts on it on its own thread.
  auto callback = std::make_shared<std::function<void(int)>>(std::move(onResult));
  request.onResult = [callback](int answer) {
    base::ThreadRegistry::PostTask(base::kThreadIdMisc, [callback, answer] {
      if (*callback) (*callback)(answer);
    });
  };
  PostMessageBoxRequest(nullptr, std::move(request));
}

void OnStateFileDownloaded(int32_t user, int32_t code, const std::string& urlPath, const std::string& message) {
  if (State* state = CurrentStateWithId(user)) state->OnFileDownloaded(code, urlPath, message);
}

void OnStateHttpResponse(int32_t user, int32_t code, const std::string& url, const char* body, int32_t size,
                         const std::string& message) {
  if (State* state = CurrentStateWithId(user)) state->OnHttpResponse(code, url, body, size, message);
}

void OnStateUrlProbed(int32_t user, int32_t code, const std::string& url, bool exists, const std::string& message) {
  if (State* state = CurrentStateWithId(user)) state->OnUrlProbed(code, url, exists, message);
}

void OnStateDownloadProgress(int32_t user, double bytesPerSecond) {
  if (user == kStateDownloadFiles && CurrentStateWithId(user)) {
    DownloadManager::GetInstance().AddSpeedSample(bytesPerSecond);
  }
}

std::string GateQueryValue(const std::string& value) {
  std::string stripped;
  for (char c : value) {
    if (!IsBlank(c)) stripped += c;
  }
  return EscapeFormValue(stripped);
}

std::string BuildGateQueryUrl() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  const std::string key = !core.gateConfig.gateKey.empty()
                              ? core.gateConfig.gateKey
                              : "WIN10CN_" + core.GetVersionTexts().localGameVersion;
  std::string url = "get/urls?key=" + GateQueryValue(key) + "&udid=" + GateQueryValue(GetDeviceId());
  if (core.gateConfig.qaGate) url += "&is_qa=true";
  return url;
}

std::string BuildPreDownloadQueryUrl() {
  return "pre_download?channel=CN&udid=" + GateQueryValue(GetDeviceId());
}

void SetLaterStateFactory(StateId id, LaterStateFactory factory) {
  if (id > kStateNone && id <= kStatePreDownload) g_laterFactories[id] = factory;
}

State* CreateLaterState(StateId id, FlowMode flow) {
  if (id == kStateEnterGame) flow = kFlowGame;
  LaterStateFactory factory = id > kStateNone && id <= kStatePreDownload ? g_laterFactories[id] : nullptr;
  if (factory) return factory(flow);
  return new RestingState(id, flow);
}

const char* StateName(int32_t id) {
  switch (id) {
    case kStatePrepare: return "Prepare";
    case kStateRequestRemote: return "RequestRemote";
    case kStateCheckVersion: return "CheckVersion";
    case kStateRequestPatch: return "RequestPatch";
    case kStateDownloadFiles: return "DownloadFiles";
    case kStateApplyUpdate: return "ApplyUpdate";
    case kStateEnterGame: return "EnterGame";
    case kStateException: return "Exception";
    case kStatePreDownload: return "PreDownload";
    default: return "None";
  }
}
