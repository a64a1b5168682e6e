#include "dialog_test_support.h"

#include <atomic>
#include <cstdlib>

#include "base/message_loop.h"
#include "base/thread_registry.h"
#include "dorevezi/core/core_dialogs.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/core/skin_package.h"
#include "dorevezi/windows/dialog_window.h"
#include "test_support/temp_dir.h"
#include "test_support/tree_path.h"
#include "ui/resources/ui_runtime.h"

namespace dialog_test {

namespace {

using namespace Gdiplus::DllExports;

using test_support::SourcePath;

std::atomic<int> g_taskDepth{0};

class DepthObserver : public base::MessageLoop::TaskObserver {
 public:
  void BeforeTask() override { ++g_taskDepth; }
  void AfterTask() override { --g_taskDepth; }
};
DepthObserver g_depthObserver;

UiThread* g_ui = nullptr;

class UiEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    delete g_ui;
    g_ui = nullptr;
  }
};
::testing::Environment* const kUiEnvironment = ::testing::AddGlobalTestEnvironment(new UiEnvironment);

WindowDialogPresenter g_presenter;
std::atomic<HWND> g_currentBox{nullptr};

// Sends the input, then waits until the system shows it applied and the UI thread's queue holds
// no input any more: every handler of it has run.
void SendAndWait(INPUT& input, const std::function<bool()>& applied) {
  SendInput(1, &input, sizeof(input));
  EXPECT_TRUE(WaitOnUi([&] { return applied() && HIWORD(GetQueueStatus(QS_INPUT)) == 0; }));
}

bool IsDown(int vk) {
  return (GetAsyncKeyState(vk) & 0x8000) != 0;
}

}  // namespace

UiThread::UiThread() : base::FrameworkThread("DialogTestUi") {
  LaunchWithLoopType(base::kMessageLoopUi);
}

UiThread::~UiThread() {
  Stop();
}

int UiThread::TaskDepth() {
  return g_taskDepth;
}

void UiThread::OnThreadStart() {
  base::ThreadRegistry::RegisterCurrentThread(base::kThreadIdUi);
  base::MessageLoop::Current()->AddTaskObserver(&g_depthObserver);
  // The launcher's skin as compiled in, opened as the program does, from a folder without a
  // "resources.zip" beside it.
  folder_.reset(new test_support::TempDir());
  SetCurrentDirectoryW(folder_->Path().c_str());
  LoadResourcePackage();
  ui::UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN");
}

void UiThread::OnThreadExit() {
  ui::UiRuntime::Uninitialize();
  SetCurrentDirectoryW(L"C:\\");
  folder_.reset();
  base::MessageLoop::Current()->RemoveTaskObserver(&g_depthObserver);
  base::ThreadRegistry::UnregisterCurrentThread();
}

void UiThread::RunAndWait(const std::function<void()>& body) {
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  message_loop()->PostTask([&body, done] {
    body();
    SetEvent(done);
  });
  WaitForSingleObject(done, INFINITE);
  CloseHandle(done);
}

UiThread& Ui() {
  if (!g_ui) g_ui = new UiThread();
  return *g_ui;
}

bool WaitOnUi(const std::function<bool()>& condition, DWORD deadlineMs) {
  const ULONGLONG deadline = GetTickCount64() + deadlineMs;
  for (;;) {
    if (Ui().Run([&] { return condition(); })) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(5);
  }
}

void FlushUi() {
  Ui().Run([] {});
  Ui().Run([] {});
}

std::wstring OwnerWindow::SkinSubfolder() const {
  return SourcePath(L"tests/dorevezi/windows/owner/");
}

LRESULT OwnerWindow::RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kMsgRefreshTexts) {
    ++refreshTexts;
    return 0;
  }
  if (message == ControlQueryMessage()) return AnswerControlQuery(*this, wParam);
  return WindowImplBase::RouteMessage(message, wParam, lParam);
}

void DialogTest::SetUp() {
  // Started first: the framework makes the process DPI-aware, which the input's coordinates follow.
  Ui();
  // A skin that cannot be read would stop the thread in the framework's error box.
  ASSERT_NE(GetFileAttributesW(SourcePath(L"tests/dorevezi/windows/owner/skin.xml").c_str()),
            INVALID_FILE_ATTRIBUTES)
      << "DV_SOURCE_DIR must name the source tree";
  // Out of the way of the windows: no hover colours the pictures.
  MoveMouseTo(4, 4);
  Ui().Run([this] {
    owner_ = new OwnerWindow();
    ownerHwnd_ = owner_->CreateNativeWindow(nullptr, L"Dorevezi", kDialogWindowStyle, 0, true,
                                            ui::Rect{40, 40, 800, 560});
    if (!ownerHwnd_) return;
    owner_->ShowNativeWindow(true, true);
    SetForegroundWindow(ownerHwnd_);
    DoreveziCore::GetInstance().SetMainWindow(ownerHwnd_);
    SetDialogPresenter(&g_presenter);
  });
  ASSERT_NE(ownerHwnd_, nullptr);
  ASSERT_TRUE(
      WaitOnUi([this] { return !owner_->IsFirstLayoutPending() && owner_->GetWindowAlpha() == 255; }));
}

void DialogTest::TearDown() {
  Ui().Run([this] {
    SetDialogPresenter(nullptr);
    for (const wchar_t* name : {L"MsgBox", L"OptionsBox"}) {
      while (HWND box = FindWindowW(name, nullptr)) DestroyWindow(box);
    }
    DoreveziCore& core = DoreveziCore::GetInstance();
    core.SetMainWindow(nullptr);
    core.messageBoxOpen = false;
    if (IsWindow(ownerHwnd_)) DestroyWindow(ownerHwnd_);
    answers_.clear();
  });
  g_currentBox = nullptr;
  FlushUi();
}

std::function<void(int)> DialogTest::Recorder() {
  return [this](int value) {
    Answer answer;
    answer.value = value;
    answer.taskDepth = UiThread::TaskDepth();
    answer.ownerEnabled = IsWindowEnabled(ownerHwnd_) != FALSE;
    answer.ownerFocused = GetFocus() == ownerHwnd_;
    answer.boxAlive = IsWindow(g_currentBox.load()) != FALSE;
    answers_.push_back(answer);
  };
}

HWND DialogTest::WaitForBox(const wchar_t* className) {
  HWND found = nullptr;
  const bool shown = WaitOnUi([&] {
    HWND box = FindWindowW(className, nullptr);
    ui::Window* window = box && IsWindowVisible(box) ? BoxWindow(box) : nullptr;
    if (!window || window->IsFirstLayoutPending() || window->GetWindowAlpha() != 255) return false;
    found = box;
    return true;
  });
  EXPECT_TRUE(shown) << "no " << std::string(className, className + wcslen(className)) << " shown";
  g_currentBox = found;
  return found;
}

bool DialogTest::WaitUntilClosed(HWND box) {
  const bool closed = WaitOnUi([box] { return !IsWindow(box); });
  FlushUi();
  return closed;
}

ui::Window* DialogTest::BoxWindow(HWND box) {
  return ui::UiRuntime::FindWindowByHandle(box);
}

void DialogTest::ClickControl(HWND box, const std::wstring& name) {
  const ControlQueryAnswer control = Query(box, name);
  ASSERT_TRUE(control.found && control.visible) << "cannot click " << std::string(name.begin(), name.end());
  Click(control.Centre());
}

std::vector<Answer> DialogTest::Answers() {
  return Ui().Run([this] { return answers_; });
}

int DialogTest::RefreshTexts() {
  return Ui().Run([this] { return owner_ && IsWindow(ownerHwnd_) ? owner_->refreshTexts : -1; });
}

ui::Control* BoxControl(HWND box, const std::wstring& name) {
  ui::Window* window = ui::UiRuntime::FindWindowByHandle(box);
  return window ? window->FindControlByName(name) : nullptr;
}

void MoveMouseTo(int x, int y) {
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dx = static_cast<LONG>((static_cast<int64_t>(x) * 65536 + width / 2) / width);
  input.mi.dy = static_cast<LONG>((static_cast<int64_t>(y) * 65536 + height / 2) / height);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  // The normalised coordinates may round to a neighbouring pixel.
  SendAndWait(input, [x, y] {
    POINT cursor;
    return GetCursorPos(&cursor) && std::abs(cursor.x - x) <= 1 && std::abs(cursor.y - y) <= 1;
  });
}

void MouseButton(DWORD flags) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  const bool down = (flags & (MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_RIGHTDOWN)) != 0;
  const int vk = flags & (MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_LEFTUP) ? VK_LBUTTON : VK_RBUTTON;
  SendAndWait(input, [vk, down] { return IsDown(vk) == down; });
}

void Click(POINT point) {
  MoveMouseTo(point.x, point.y);
  MouseButton(MOUSEEVENTF_LEFTDOWN);
  MouseButton(MOUSEEVENTF_LEFTUP);
}

void Key(WORD vk, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendAndWait(input, [vk, up] { return IsDown(vk) != up; });
}

void PressKey(WORD vk) {
  Key(vk, false);
  Key(vk, true);
}

void PressAltF4() {
  Key(VK_MENU, false);
  Key(VK_F4, false);
  Key(VK_F4, true);
  Key(VK_MENU, true);
}

Capture CaptureScreen(const RECT& wanted) {
  // Only what is on the screen: a blit reaching past it gives nothing under Wine.
  const RECT screenRect = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  RECT rect = {};
  IntersectRect(&rect, &wanted, &screenRect);
  return window_test::CaptureScreen(rect);
}

std::string SaveCapture(const Capture& capture, const std::string& name) {
  // GDI+ is started by the UI framework on the UI thread; it serves the whole process.
  return Ui().Run([&] { return window_test::SaveCapture(capture, name); });
}

bool RgbNear(uint32_t actual, uint32_t expected, int tolerance) {
  for (int shift : {16, 8, 0}) {
    const int a = (actual >> shift) & 0xFF, e = (expected >> shift) & 0xFF;
    if (std::abs(a - e) > tolerance) return false;
  }
  return true;
}

}  // namespace dialog_test
