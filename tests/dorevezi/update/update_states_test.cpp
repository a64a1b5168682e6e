// The pieces of the update states that do not need the servers: the machine's identity numbers,
// the gate and patch paths, the error box's detail, hash keys, the disk-space need, the gate
// replies of the launcher, the routing of answers, and the dialog entry points' hand-over to the
// UI thread.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/thread.h"
#include "base/thread_registry.h"
#include "dorevezi/core/core_dialogs.h"
#include "dorevezi/core/disk_space.h"
#include "dorevezi/core/network_identity.h"
#include "dorevezi/core/version_map.h"
#include "dorevezi/update/download_manager.h"
#include "dorevezi/update/gate_reply.h"
#include "dorevezi/update/state.h"
#include "dorevezi/update/update_states.h"
#include "test_support/temp_dir.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Network identity

TEST(NetworkIdentity, ProcessorNumberOfGenuineIntelWithHighestLeaf22) {
  // EAX = 0x16, EBX "Genu", EDX "ineI", ECX "ntel".
  const uint32_t registers[4] = {0x16, 0x756e6547, 0x6c65746e, 0x49656e69};
  EXPECT_EQ(SumCpuIdRegisters(registers), 160620u);
}

TEST(NetworkIdentity, AdapterSumsAndFingerprintInBothOrders) {
  const uint8_t first[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  const uint8_t second[] = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
  EXPECT_EQ(SumAddressBytes(first, 6), 46200);
  EXPECT_EQ(SumAddressBytes(second, 6), 10020);
  EXPECT_EQ(CombineAdapterSums(46200, false, 0), 46200u);
  EXPECT_EQ(CombineAdapterSums(46200, true, 10020), 656716920u);
  EXPECT_EQ(CombineAdapterSums(10020, true, 46200), 656716920u);
  // A last odd byte counts as a low byte; no address gives 0; the sum wraps at 65536.
  const uint8_t odd[] = {0x01, 0x02, 0x03};
  EXPECT_EQ(SumAddressBytes(odd, 3), 0x0201 + 0x03);
  EXPECT_EQ(SumAddressBytes(odd, 0), 0);
  const uint8_t high[] = {0xFF, 0xFF, 0x02, 0x00};
  EXPECT_EQ(SumAddressBytes(high, 4), 1);
}

std::string Fallback() {
  return "10.0.0.9";
}

TEST(NetworkIdentity, EchoAnswers) {
  struct Case {
    int32_t code;
    std::string body;
    std::string expected;
  };
  const Case cases[] = {
      {0, "203.0.113.7\n", "203.0.113.7"},         // a trailing line feed trimmed
      {0, " \r\n203.0.113.7 \t", "203.0.113.7"},  // every blank
      {0, "  \t\n", ""},                           // blanks only: empty, no fallback
      {0, "", "10.0.0.9"},                         // empty answer: the fallback
      {-2, "203.0.113.7", "10.0.0.9"},             // refused or failed request
      {0, "<html><body>Bad gateway</body></html>", "10.0.0.9"},  // not an address
      {0, "203.0.113.256", "10.0.0.9"},
      {0, "1.2.3", "10.0.0.9"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PublicIpFromAnswer(c.code, c.body.data(), int32_t(c.body.size()), &Fallback), c.expected)
        << c.body;
  }
}

TEST(NetworkIdentity, Ipv4Texts) {
  for (const char* good : {"0.0.0.0", "255.255.255.255", "127.0.0.1"}) EXPECT_TRUE(IsIpv4Address(good)) << good;
  for (const char* bad : {"", "1.2.3.4.5", "1..2.3", "1.2.3.", ".1.2.3", "1.2.3.4a", "0001.2.3.4", "-1.2.3.4"}) {
    EXPECT_FALSE(IsIpv4Address(bad)) << bad;
  }
}

TEST(NetworkIdentity, DeviceIdIsStableAndStartsWithTheComputerName) {
  char name[1024] = {};
  DWORD length = sizeof(name);
  ASSERT_TRUE(GetComputerNameA(name, &length));
  const std::string id = GetDeviceId();
  EXPECT_EQ(id.compare(0, length, name), 0) << id;
  EXPECT_GT(id.size(), size_t(length));
  EXPECT_EQ(GetDeviceId(), id);
}

// ---------------------------------------------------------------------------------------------
// Paths and texts

class Probe : public State {
 public:
  Probe(FlowMode flow, StateId id = kStateNone) : State(flow), id_(id) {}
  StateId GetStateId() const override { return id_; }
  void OnEnter(State*) override {}
  void OnTick() override {}
  void OnExit(State*) override {}
  void OnHttpResponse(int32_t code, const std::string&, const char*, int32_t, const std::string&) override {
    answers.push_back(code);
  }
  std::vector<int32_t> answers;

 private:
  StateId id_;
};

struct CoreValues {
  CoreValues() {
    DoreveziCore& core = DoreveziCore::GetInstance();
    saved = core.gateConfig;
    savedLauncher = core.doreveziVersion;
    savedGame = core.localGameVersion;
  }
  ~CoreValues() {
    DoreveziCore& core = DoreveziCore::GetInstance();
    core.gateConfig = saved;
    core.doreveziVersion = savedLauncher;
    core.localGameVersion = savedGame;
  }
  GateConfig saved;
  std::string savedLauncher, savedGame;
};

TEST(RequestPaths, GateQuery) {
  CoreValues keep;
  DoreveziCore& core = DoreveziCore::GetInstance();
  const std::string udid = GateQueryValue(GetDeviceId());
  core.gateConfig = GateConfig();
  core.localGameVersion.clear();
  EXPECT_EQ(BuildGateQueryUrl(), "get/urls?key=WIN10CN_&udid=" + udid);
  core.localGameVersion = "10077_1_0";
  EXPECT_EQ(BuildGateQueryUrl(), "get/urls?key=WIN10CN_10077_1_0&udid=" + udid);
  // White space goes, then what could change the query's structure is escaped.
  core.gateConfig.gateKey = " MY KEY\r\n\t&x=1";
  core.gateConfig.qaGate = true;
  EXPECT_EQ(BuildGateQueryUrl(), "get/urls?key=MYKEY%26x%3D1&udid=" + udid + "&is_qa=true");
  EXPECT_EQ(BuildPreDownloadQueryUrl(), "pre_download?channel=CN&udid=" + udid);
  EXPECT_EQ(GateQueryValue("a b\tc\nd\ve\ff\rg"), "abcdefg");
}

TEST(RequestPaths, PatchUrlOfEachFlow) {
  CoreValues keep;
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.doreveziVersion = "2.3.10";
  core.localGameVersion = "1_2_3";
  EXPECT_EQ(Probe(kFlowDorevezi).GetPatchUrl("patch_list.txt"), "patchs/2_3_10/patch_list.txt");
  EXPECT_EQ(Probe(kFlowGame).GetPatchUrl("patch_list.txt"), "patchs/1_2_3/patch_list.txt");
}

TEST(Versions, GameUpdateAvailableOnlyWhenBothKnownAndDifferent) {
  CoreValues keep;
  DoreveziCore& core = DoreveziCore::GetInstance();
  const std::string remote = core.remoteGameVersion;
  const struct {
    const char* local;
    const char* remote;
    bool available;
  } cases[] = {{"10077_1_0", "10077_0_1", true}, {"10077_1_0", "10077_1_0", false}, {"", "10077_0_1", false},
               {"10077_1_0", "", false}};
  for (const auto& c : cases) {
    core.localGameVersion = c.local;
    core.SetRemoteGameVersion(c.remote);
    EXPECT_EQ(core.IsGameUpdateAvailable(), c.available) << c.local << " " << c.remote;
  }
  core.SetRemoteGameVersion(remote);
}

TEST(ErrorBox, Detail) {
  Probe state(kFlowGame);
  state.errorCode = -2;
  state.errorText = "Request Failed:503";
  state.errorDetail = "get/urls?key=K/";
  EXPECT_EQ(state.ErrorBoxDetail(), L"-2\nRequest Failed:503(get/urls?key=K/)");
  state.errorCode = 0;
  state.errorDetail.clear();
  state.errorText = "Invalid DlcAddr \xE6\xB5\x8B";  // UTF-8 in, UTF-16 out
  EXPECT_EQ(state.ErrorBoxDetail(), L"Invalid DlcAddr \x6D4B");
}

TEST(Hashing, KeysAreRelativeWithOrWithoutTrailingSeparator) {
  EXPECT_EQ(HashKeyOfPath("D:\\", "D:\\TOLV.exe"), "TOLV.exe");
  EXPECT_EQ(HashKeyOfPath("D:\\", "D:\\Data\\a.bin"), "Data/a.bin");
  EXPECT_EQ(HashKeyOfPath("D:\\Games\\TOLV", "D:\\Games\\TOLV\\Data\\a.bin"), "Data/a.bin");
  EXPECT_EQ(HashKeyOfPath("D:\\Games\\TOLV\\", "D:\\Games\\TOLV\\Data\\a.bin"), "Data/a.bin");
  EXPECT_EQ(HashKeyOfPath(".", ".\\cef\\locales\\en-US.pak"), "cef/locales/en-US.pak");
}

TEST(DiskSpace, NeedText) {
  EXPECT_EQ(RequiredSpaceText(), L" 4.00G");
}

TEST(VersionLists, VersionOfEitherForm) {
  std::string version = "old";
  EXPECT_TRUE(GetListVersion(R"({"version": "10077_0_1", "list": {}})", version));
  EXPECT_EQ(version, "10077_0_1");
  EXPECT_TRUE(GetListVersion(R"({"a.bin": {"md5": "x", "size": 1}, "version": {"md5": "10077_2_0"}})", version));
  EXPECT_EQ(version, "10077_2_0");
  version = "kept";
  EXPECT_FALSE(GetListVersion(R"({"a.bin": {"md5": "x", "size": 1}})", version));
  EXPECT_FALSE(GetListVersion("not json", version));
  EXPECT_EQ(version, "kept");
}

// ---------------------------------------------------------------------------------------------
// Gate replies

TEST(GateReplies, LauncherOptionsInsideOthers) {
  const std::string body =
      R"({"Others": "{\"DlcAddr\": \"https://cdn/\", \"ForceUpdateDorevezi\": false, \"PatchOption\": 1,)"
      R"( \"ActivityAddr\": \"https://act/\", \"TransToGame\": {\"a\": 1}}"})";
  DoreveziGateReply reply;
  std::string error;
  ASSERT_TRUE(ReadDoreveziGateReply(body.data(), body.size(), reply, error)) << error;
  EXPECT_TRUE(reply.hasDlcAddr);
  EXPECT_EQ(reply.cdnUrls, std::vector<std::string>{"https://cdn/"});
  EXPECT_TRUE(reply.forceUpdateDorevezi);  // any value but "" sets it, false included
  EXPECT_TRUE(reply.hasPatchOption);
  EXPECT_EQ(reply.patchOption, 1);
  EXPECT_EQ(reply.activityAddr, "https://act/");
  EXPECT_TRUE(reply.hasTransToGame);

  const std::string top = R"({"DlcAddr": ["https://cdn/"], "PatchOption": 0})";
  DoreveziGateReply none;
  EXPECT_FALSE(ReadDoreveziGateReply(top.data(), top.size(), none, error));
  EXPECT_FALSE(none.hasDlcAddr);
  EXPECT_FALSE(none.hasPatchOption);

  const std::string empty = R"({"Others": "{\"DlcAddr\": [1, \"b\", {}], \"ForceUpdateDorevezi\": \"\"}"})";
  DoreveziGateReply list;
  ASSERT_TRUE(ReadDoreveziGateReply(empty.data(), empty.size(), list, error));
  EXPECT_EQ(list.cdnUrls, (std::vector<std::string>{"1", "b"}));
  EXPECT_FALSE(list.forceUpdateDorevezi);
}

TEST(GateReplies, GameReplyRefusesUnsafeInlineLists) {
  const std::string body =
      R"({"DlcAddr": "https://cdn/", "CDN": "{\"..\\\\x.dll\": {\"md5\": \"m\", \"size\": 1}}"})";
  GameGateReply reply;
  std::string error;
  ASSERT_TRUE(ReadGameGateReply(body.data(), body.size(), reply, error)) << error;
  EXPECT_FALSE(reply.hasInlineList);
  EXPECT_EQ(reply.cdnUrls, std::vector<std::string>{"https://cdn/"});
}

// The worker sets the activity page while the windows read it: every read gets one whole address.
TEST(GateReplies, ActivityPageReadWholeWhileTheWorkerSetsIt) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  const std::string pages[2] = {"https://act.example/" + std::string(300, 'a'),
                                "https://act.example/" + std::string(300, 'b')};
  std::string bodies[2];
  for (int i = 0; i < 2; ++i) {
    bodies[i] = R"({"Others": "{\"DlcAddr\": \"https://cdn/\", \"ActivityAddr\": \")" + pages[i] + R"(\"}"})";
  }
  std::atomic<bool> done{false};
  std::thread worker([&] {
    PrepareState state(kFlowDorevezi);
    for (int i = 0; i < 20000; ++i) {
      const std::string& body = bodies[i & 1];
      state.ParseDoreveziGateReply(0, "", body.data(), static_cast<int32_t>(body.size()), "");
    }
    done = true;
  });
  int reads = 0;
  int torn = 0;
  while (!done) {
    const std::string seen = core.GetActivityUrl();
    ++reads;
    if (!seen.empty() && seen != pages[0] && seen != pages[1]) ++torn;
  }
  worker.join();
  EXPECT_EQ(torn, 0) << "of " << reads << " reads";
  EXPECT_EQ(core.GetActivityUrl(), pages[1]);
  core.SetActivityUrl("");
}

// ---------------------------------------------------------------------------------------------
// Remote list

// The remote list could not be kept: the error names the file in UTF-8, whatever its folder's script.
TEST(RemoteList, WriteFailureNamesThePathInUtf8) {
  test_support::TempDir dir;
  const std::wstring folder = dir.Path() + L"\\\u6e38\u620f \u5b89\u88c5";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring list = folder + L"\\tmp_version_map.txt";
  // A read-only file is never replaced.
  HANDLE file =
      CreateFileW(list.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  RequestRemoteState state(kFlowGame);
  state.remoteSlotKey = "_remote_write_test_";
  state.temporaryListPath = list;
  const std::string body = R"({"version": "10077_0_1", "list": {"a.bin": {"md5": "m", "size": 1}}})";
  state.OnHttpResponse(0, "https://cdn/version_map.txt", body.data(), static_cast<int32_t>(body.size()), "");
  std::string folderUtf8;
  for (wchar_t c : dir.Path()) folderUtf8 += static_cast<char>(c);
  EXPECT_EQ(state.errorText, "Write Failed:" + folderUtf8 +
                                 "\\\xe6\xb8\xb8\xe6\x88\x8f \xe5\xae\x89\xe8\xa3\x85\\tmp_version_map.txt");
  SetFileAttributesW(list.c_str(), FILE_ATTRIBUTE_NORMAL);
  DoreveziCore::GetInstance().versionMaps.erase("_remote_write_test_");
}

// ---------------------------------------------------------------------------------------------
// Routing

TEST(Routing, AnswersReachOnlyTheStateWhoseIdIsTheTag) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  Probe* state = new Probe(kFlowGame, kStateRequestRemote);
  core.ChangeState(state);
  OnStateHttpResponse(kStateRequestRemote, 7, "u", "", 0, "");
  OnStateHttpResponse(kStatePrepare, 8, "u", "", 0, "");
  EXPECT_EQ(state->answers, std::vector<int32_t>{7});

  DownloadManager& manager = DownloadManager::GetInstance();
  manager.ResetSpeedStats();
  const size_t before = manager.speedSamples.size();
  OnStateDownloadProgress(kStateDownloadFiles, 1000.0);
  EXPECT_EQ(manager.speedSamples.size(), before);  // another state is current
  core.ChangeState(new Probe(kFlowGame, kStateDownloadFiles));
  OnStateDownloadProgress(kStateDownloadFiles, 1000.0);
  EXPECT_EQ(manager.speedSamples.size(), before + 1);
  core.ChangeState(nullptr);
  OnStateDownloadProgress(kStateDownloadFiles, 1000.0);
  EXPECT_EQ(manager.speedSamples.size(), before + 1);
}

TEST(Routing, LaterStatesRestUntilBuilt) {
  State* enter = CreateLaterState(kStateEnterGame, kFlowDorevezi);
  EXPECT_EQ(enter->GetStateId(), kStateEnterGame);
  EXPECT_EQ(enter->flowMode, kFlowGame);  // always the game flow
  delete enter;
  State* download = CreateLaterState(kStateDownloadFiles, kFlowDorevezi);
  EXPECT_EQ(download->flowMode, kFlowDorevezi);
  delete download;
}

// ---------------------------------------------------------------------------------------------
// Dialogs

// The UI thread of the test, with a main window and a presenter that records the requests.
class UiThread : public base::FrameworkThread {
 public:
  UiThread() : base::FrameworkThread("TestUi") {}
  ~UiThread() override { Stop(); }
  void RunAndWait(std::function<void()> task) {
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    base::ThreadRegistry::PostTask(base::kThreadIdUi, [task, done] {
      task();
      SetEvent(done);
    });
    WaitForSingleObject(done, 30000);
    CloseHandle(done);
  }

 protected:
  void OnThreadStart() override { base::ThreadRegistry::RegisterCurrentThread(base::kThreadIdUi); }
  void OnThreadExit() override { base::ThreadRegistry::UnregisterCurrentThread(); }
};

class RecordingPresenter : public DialogPresenter {
 public:
  void ShowMessageBox(HWND owner, MessageBoxRequest request) override {
    owners.push_back(owner);
    boxes.push_back(request);
  }
  void ShowOptionsBox(HWND owner, OptionsBoxRequest request) override {
    owners.push_back(owner);
    options.push_back(request);
  }
  std::vector<HWND> owners;
  std::vector<MessageBoxRequest> boxes;
  std::vector<OptionsBoxRequest> options;
};

TEST(Dialogs, PostedToTheUiThreadOverTheMainWindowOrDropped) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  UiThread ui;
  ASSERT_TRUE(ui.LaunchWithLoopType(base::kMessageLoopUi));
  RecordingPresenter presenter;
  SetDialogPresenter(&presenter);
  HWND window = nullptr;
  ui.RunAndWait([&] {
    window = CreateWindowW(L"STATIC", L"main", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  });
  core.messageBoxOpen = false;
  core.messageBoxShown = false;

  // Without a main window: dropped, yet the flags of the first entry point are set.
  core.mainWindow = nullptr;
  core.ShowMessageBox(nullptr, L"STRING_ERROR_NOTICE", L"STRING_ERROR_UPDATE", L"", L"STRING_CONFIRM",
                      [](int) {}, false);
  ui.RunAndWait([] {});
  EXPECT_TRUE(presenter.boxes.empty());
  EXPECT_TRUE(core.messageBoxOpen);
  EXPECT_TRUE(core.messageBoxShown);

  core.messageBoxOpen = false;
  core.messageBoxShown = false;
  core.mainWindow = window;
  core.ShowMessageBoxTexts(nullptr, L"", L"literal title", L"", L"text", L"STRING_CANCEL", L"", L"", L"",
                           [](int) {}, true);
  core.ShowOptionsBox(L"STRING_X", L"shutdown_options", {L"A", L"B"}, 7, L"STRING_CONFIRM", [](int) {});
  ui.RunAndWait([] {});
  EXPECT_FALSE(core.messageBoxOpen);  // the literal variant sets neither flag
  EXPECT_FALSE(core.messageBoxShown);
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.boxes[0].title.literal, L"literal title");
  EXPECT_EQ(presenter.boxes[0].noKey, L"STRING_CANCEL");
  EXPECT_TRUE(presenter.boxes[0].swapButtonLooks);
  ASSERT_EQ(presenter.options.size(), 1u);
  EXPECT_EQ(presenter.options[0].optionKeys.size(), 2u);
  EXPECT_EQ(presenter.options[0].selectedIndex, 0);
  EXPECT_EQ(presenter.owners, (std::vector<HWND>{window, window}));

  // A closed main window drops the request.
  ui.RunAndWait([&] { DestroyWindow(window); });
  core.ShowMessageBoxTexts(nullptr, L"", L"t", L"", L"c", L"", L"", L"", L"", [](int) {}, false);
  ui.RunAndWait([] {});
  EXPECT_EQ(presenter.boxes.size(), 1u);
  core.mainWindow = nullptr;
  SetDialogPresenter(nullptr);
}

}  // namespace
