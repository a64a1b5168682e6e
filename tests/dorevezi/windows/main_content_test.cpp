// The main window's content in process: a real MainForm over a test skin that holds a poster strip
// and news tabs, created as the program's UI thread creates it, with the worker thread running the
// poster tick and composing the reports. The shell is replaced by a recorder of the addresses it is
// asked to open; clicks and presses are real input.
#include <gtest/gtest.h>

#include <json/json.h>

#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/thread.h"
#include "base/thread_registry.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/shell_functions.h"
#include "dorevezi/update/download_manager.h"
#include "dorevezi/windows/main_components.h"
#include "dorevezi/windows/main_form.h"
#include "ui/controls/list_box.h"
#include "ui/controls/tab_box.h"
#include "test_support/tree_path.h"
#include "ui/resources/ui_runtime.h"

namespace {

using Label = ui::LabelTemplate<ui::Control>;

using test_support::SourcePath;

// A thread with a loop that runs closures for the test and waits for them.
class TestThread : public base::FrameworkThread {
 public:
  TestThread(const char* name, int id, int loopType) : base::FrameworkThread(name), id_(id) {
    LaunchWithLoopType(loopType);
  }
  ~TestThread() override { Stop(); }

  template <typename F>
  auto Run(F&& body) -> decltype(body()) {
    using Result = decltype(body());
    if constexpr (std::is_void_v<Result>) {
      RunAndWait(body);
    } else {
      std::optional<Result> result;
      RunAndWait([&] { result.emplace(body()); });
      return std::move(*result);
    }
  }

 protected:
  void OnThreadStart() override {
    base::ThreadRegistry::RegisterCurrentThread(id_);
    // The test skin from the source tree, read from disk (no archive is opened).
    if (id_ == base::kThreadIdUi) {
      ui::UiRuntime::Initialize(SourcePath(L"tests/dorevezi/windows/main_skin/"), nullptr, false, L"",
                                L"zh_CN");
    }
  }
  void OnThreadExit() override {
    if (id_ == base::kThreadIdUi) ui::UiRuntime::Uninitialize();
    base::ThreadRegistry::UnregisterCurrentThread();
  }

 private:
  void RunAndWait(const std::function<void()>& body) {
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    message_loop()->PostTask([&body, done] {
      body();
      SetEvent(done);
    });
    WaitForSingleObject(done, INFINITE);
    CloseHandle(done);
  }

  int id_;
};

TestThread* g_ui = nullptr;
TestThread* g_worker = nullptr;

TestThread& Ui() {
  if (!g_ui) g_ui = new TestThread("MainContentUi", base::kThreadIdUi, base::kMessageLoopUi);
  return *g_ui;
}
TestThread& Worker() {
  if (!g_worker)
    g_worker = new TestThread("MainContentWorker", base::kThreadIdMisc, base::kMessageLoopDefault);
  return *g_worker;
}

class Threads : public ::testing::Environment {
 public:
  void TearDown() override {
    delete g_ui;
    g_ui = nullptr;
    delete g_worker;
    g_worker = nullptr;
  }
};
::testing::Environment* const kThreads = ::testing::AddGlobalTestEnvironment(new Threads);

bool WaitOnUi(const std::function<bool()>& condition, DWORD deadlineMs = 30000) {
  const ULONGLONG deadline = GetTickCount64() + deadlineMs;
  for (;;) {
    if (Ui().Run([&] { return condition(); })) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(5);
  }
}

// The addresses the shell was asked to open, with their verb and owner.
struct Opened {
  std::wstring verb;
  std::wstring file;
  HWND owner;
  int show;
};
std::mutex g_openedLock;
std::vector<Opened> g_opened;

HINSTANCE WINAPI RecordShellExecute(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR, LPCWSTR, INT show) {
  std::lock_guard<std::mutex> hold(g_openedLock);
  g_opened.push_back({verb ? verb : L"", file ? file : L"", owner, show});
  return reinterpret_cast<HINSTANCE>(42);
}

std::vector<std::wstring> OpenedFiles() {
  std::lock_guard<std::mutex> hold(g_openedLock);
  std::vector<std::wstring> files;
  for (const Opened& opened : g_opened) files.push_back(opened.file);
  return files;
}

// Real input; each returns once the UI thread has handled it.
void SendAndWait(INPUT& input, const std::function<bool()>& applied) {
  SendInput(1, &input, sizeof(input));
  EXPECT_TRUE(WaitOnUi([&] { return applied() && HIWORD(GetQueueStatus(QS_INPUT)) == 0; }));
}

void MoveMouseTo(POINT point) {
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dx = static_cast<LONG>((static_cast<int64_t>(point.x) * 65536 + width / 2) / width);
  input.mi.dy = static_cast<LONG>((static_cast<int64_t>(point.y) * 65536 + height / 2) / height);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendAndWait(input, [point] {
    POINT cursor;
    return GetCursorPos(&cursor) && std::abs(cursor.x - point.x) <= 1 && std::abs(cursor.y - point.y) <= 1;
  });
}

void LeftButton(bool down) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  SendAndWait(input, [down] { return ((GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0) == down; });
}

// The reports the worker has queued for the tracking address, as parsed records.
std::vector<Json::Value> QueuedReports() {
  return Worker().Run([] {
    std::vector<Json::Value> records;
    for (const auto& entry : DownloadManager::GetInstance().queuedPosts) {
      for (const std::string& body : entry.second) {
        Json::Value record;
        Json::Reader reader;
        if (reader.parse(body, record)) records.push_back(record);
      }
    }
    return records;
  });
}

std::vector<ScrollPageInfo> Posters(int count) {
  std::vector<ScrollPageInfo> posters;
  for (int i = 0; i < count; ++i) posters.push_back({"", "poster" + std::to_string(i)});
  return posters;
}

NewsTabInfo NewsTab(const std::string& name, int count) {
  NewsTabInfo tab{name, {}};
  for (int i = 1; i <= count; ++i) {
    const std::string n = std::to_string(i);
    tab.entries.push_back({name + " title " + n, "12-0" + n, name + " tip " + n, name + "_news" + n});
  }
  return tab;
}

class MainContentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Worker();
    Ui();
    ASSERT_NE(GetFileAttributesW(SourcePath(L"tests/dorevezi/windows/main_skin/main/skin.xml").c_str()),
              INVALID_FILE_ATTRIBUTES)
        << "DV_SOURCE_DIR must name the source tree";
    shell_ = GetShellFunctions();
    shell_.shellExecute = RecordShellExecute;
    ReplaceShellFunctions(&shell_);
    {
      std::lock_guard<std::mutex> hold(g_openedLock);
      g_opened.clear();
    }
    Worker().Run([] { DownloadManager::GetInstance().queuedPosts.clear(); });
    MoveMouseTo(POINT{2, 2});
    Ui().Run([] {
      DoreveziCore& core = DoreveziCore::GetInstance();
      EnterCriticalSection(&core.textsLock);
      core.envConfig.languageCode = "zh_CN";
      core.displayVersion = "1.2.3";
      LeaveCriticalSection(&core.textsLock);
      core.SetActivityUrl("");
      core.gateConfig.activityUrl.clear();
      ASSERT_TRUE(core.LoadCommonConfig());
      core.scrollPages = Posters(3);
      core.newsTabs = {NewsTab("a", 6), NewsTab("b", 2)};
      for (int i = 0; i < 3; ++i)
        core.links["poster" + std::to_string(i)] = "https://poster.example/" + std::to_string(i);
      core.links["a_news6"] = "https://news.example/a6";
    });
  }

  void TearDown() override {
    Ui().Run([this] {
      if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
      DoreveziCore::GetInstance().SetMainWindow(nullptr);
    });
    ReplaceShellFunctions(nullptr);
  }

  // The window as the program's UI thread makes it, shown and laid out.
  void OpenWindow() {
    Ui().Run([this] {
      form_ = new MainForm();
      hwnd_ = form_->CreateNativeWindow(nullptr, L"Dorevezi", kMainWindowStyle, 0, true, ui::Rect());
      if (!hwnd_) return;
      form_->CenterOnOwner();
      form_->ShowNativeWindow(true, true);
      SetForegroundWindow(hwnd_);
    });
    ASSERT_NE(hwnd_, nullptr);
    ASSERT_TRUE(
        WaitOnUi([this] { return !form_->IsFirstLayoutPending() && form_->GetWindowAlpha() == 255; }));
  }

  template <typename T = ui::Control>
  T* Find(const wchar_t* name) {
    return dynamic_cast<T*>(form_->FindControlByName(name));
  }
  // A control's visible centre on the screen (UI thread).
  POINT Centre(ui::Control* control) {
    const ui::Rect bounds = control->GetBounds(true);
    const ui::Point scroll = control->GetAncestorScrollOffset();
    POINT point{(bounds.left + bounds.right) / 2 - scroll.x, (bounds.top + bounds.bottom) / 2 - scroll.y};
    ClientToScreen(hwnd_, &point);
    return point;
  }
  POINT CentreOf(const std::function<ui::Control*()>& control) {
    return Ui().Run([&] { return Centre(control()); });
  }
  void Click(POINT point) {
    MoveMouseTo(point);
    LeftButton(true);
    LeftButton(false);
  }

  ui::ListBox* Dots() { return Find<ui::ListBox>(L"dot_list"); }
  ui::ListBox* Pages() { return Find<ui::ListBox>(L"scroll_pages"); }
  ui::ListBox* TabLabels() { return Find<ui::ListBox>(L"tab_labels"); }
  MainComponents::TabLabel* TabLabelAt(size_t i) {
    return dynamic_cast<MainComponents::TabLabel*>(TabLabels()->GetChildAt(i));
  }
  MainComponents::TabPage* TabPageAt(size_t i) {
    return dynamic_cast<MainComponents::TabPage*>(Find<ui::TabBox>(L"tab_pages")->GetChildAt(i));
  }

  // The strip as shown: index, hold, dots selected and filled, scroll offset.
  struct Strip {
    int index;
    int hold;
    std::vector<bool> selected;
    std::vector<bool> filled;
    int offset;
  };
  Strip ReadStrip() {
    Strip strip{form_->currentPosterIndex(), form_->posterHoldCount(), {}, {}, Pages()->GetScrollOffset().cx};
    for (size_t i = 0; i < Dots()->GetChildCount(); ++i) {
      auto* dot = dynamic_cast<MainComponents::ScrollDot*>(Dots()->GetChildAt(i));
      strip.selected.push_back(dot->IsSelected());
      strip.filled.push_back(dot->dotButton && !dot->dotButton->IsEnabled());
    }
    return strip;
  }

  ShellFunctions shell_;
  MainForm* form_ = nullptr;
  HWND hwnd_ = nullptr;
};

// Each new poster index the strip shows, up to `count` changes (polled on the UI thread).
std::vector<int> WatchIndexes(const std::function<int()>& read, size_t count) {
  std::vector<int> seen{read()};
  const ULONGLONG deadline = GetTickCount64() + 60000;
  while (seen.size() < count && GetTickCount64() < deadline) {
    const int now = Ui().Run(read);
    if (now != seen.back()) seen.push_back(now);
    Sleep(5);
  }
  return seen;
}

TEST_F(MainContentTest, ThreePostersAdvanceOnTheirOwnAndWrap) {
  OpenWindow();
  const std::vector<int> seen = WatchIndexes([this] { return form_->currentPosterIndex(); }, 4);
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 0}));
  // The strip stands at page 2 with its dot chosen and filled alone.
  ASSERT_TRUE(WaitOnUi([this] { return form_->currentPosterIndex() == 1; }));
  ASSERT_TRUE(WaitOnUi([this] { return ReadStrip().offset == 400; }));
  const Strip strip = Ui().Run([this] { return ReadStrip(); });
  EXPECT_EQ(strip.selected, (std::vector<bool>{false, true, false}));
  EXPECT_EQ(strip.filled, (std::vector<bool>{false, true, false}));
  EXPECT_EQ(strip.hold, -1);
}

TEST_F(MainContentTest, AnArrowClickShowsTheNextPosterAndHoldsForFourTicks) {
  OpenWindow();
  const POINT right = CentreOf([this] { return Find(L"btn_scroll_right"); });
  const POINT left = CentreOf([this] { return Find(L"btn_scroll_left"); });
  // The first page: the left arrow is off, the right one on.
  const int before = Ui().Run([this] { return form_->currentPosterIndex(); });
  ASSERT_EQ(before, 0) << "the strip advanced before the first click";
  EXPECT_TRUE(Ui().Run(
      [this] { return !Find(L"btn_scroll_left")->IsEnabled() && Find(L"btn_scroll_right")->IsEnabled(); }));
  Click(right);
  std::pair<int, int> state =
      Ui().Run([this] { return std::make_pair(form_->currentPosterIndex(), form_->posterHoldCount()); });
  EXPECT_EQ(state, std::make_pair(1, 3));
  // The hold counts down one per tick while page 1 stays, and the fifth tick shows page 2.
  std::vector<std::pair<int, int>> seen{state};
  const ULONGLONG deadline = GetTickCount64() + 60000;
  while (seen.back().first == 1 && GetTickCount64() < deadline) {
    state =
        Ui().Run([this] { return std::make_pair(form_->currentPosterIndex(), form_->posterHoldCount()); });
    if (state != seen.back()) seen.push_back(state);
    Sleep(5);
  }
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{1, 3}, {1, 2}, {1, 1}, {1, 0}, {1, -1}, {2, -1}}));
  EXPECT_TRUE(WaitOnUi([this] { return ReadStrip().offset == 800; }));
  // At the last page the right arrow is off; the left one goes back and holds again.
  EXPECT_FALSE(Ui().Run([this] { return Find(L"btn_scroll_right")->IsEnabled(); }));
  Click(left);
  state = Ui().Run([this] { return std::make_pair(form_->currentPosterIndex(), form_->posterHoldCount()); });
  EXPECT_EQ(state, std::make_pair(1, 3));
  EXPECT_TRUE(WaitOnUi([this] { return ReadStrip().offset == 400; }));
}

TEST_F(MainContentTest, AClickedDotShowsItsPosterAndHolds) {
  OpenWindow();
  const POINT third = CentreOf([this] { return Dots()->GetChildAt(2); });
  Click(third);
  const Strip strip = Ui().Run([this] { return ReadStrip(); });
  EXPECT_EQ(strip.index, 2);
  EXPECT_EQ(strip.hold, 3);
  EXPECT_EQ(strip.filled, (std::vector<bool>{false, false, true}));
}

TEST_F(MainContentTest, AChoiceDuringAGlideEndsOnItsOwnPage) {
  Ui().Run([] { DoreveziCore::GetInstance().scrollPages = Posters(4); });
  OpenWindow();
  // The second choice comes while the strip is still gliding to the first; pressing the dots
  // also holds the strip.
  Ui().Run([this] {
    for (size_t dot : {1u, 2u}) {
      ui::EventArgs press;
      press.type = ui::kEventButtonDown;
      press.sender = Dots()->GetChildAt(dot);
      EXPECT_FALSE(form_->OnScrollDotEvent(&press));
    }
  });
  ASSERT_TRUE(WaitOnUi([this] { return ReadStrip().offset >= 800; }));
  // Settled: no further movement after a while of polling.
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(Ui().Run([this] { return ReadStrip().offset; }), 800);
    Sleep(10);
  }
  EXPECT_EQ(Ui().Run([this] { return form_->currentPosterIndex(); }), 2);
}

TEST_F(MainContentTest, ArrowsFollowTheNumberOfPosters) {
  struct Case {
    int posters;
    bool shown;
    bool leftEnabled;
    bool rightEnabled;
  };
  for (const Case& c :
       {Case{0, false, false, false}, Case{1, true, false, false}, Case{3, true, false, true}}) {
    SCOPED_TRACE(c.posters);
    Ui().Run([&] { DoreveziCore::GetInstance().scrollPages = Posters(c.posters); });
    OpenWindow();
    ASSERT_TRUE(WaitOnUi([&] { return Find(L"btn_scroll_left")->IsVisible() == c.shown; }));
    ASSERT_TRUE(WaitOnUi([&] { return Find(L"btn_scroll_right")->IsVisible() == c.shown; }));
    Ui().Run([&] {
      if (c.shown) {
        EXPECT_EQ(Find(L"btn_scroll_left")->IsEnabled(), c.leftEnabled);
        EXPECT_EQ(Find(L"btn_scroll_right")->IsEnabled(), c.rightEnabled);
      }
      EXPECT_EQ(form_->currentPosterIndex(), c.posters ? 0 : -1);
      EXPECT_EQ(Pages()->GetChildCount(), static_cast<size_t>(c.posters));
    });
    if (c.posters == 1) {
      // A tick chooses page 0 again; the arrows stay off.
      Ui().Run([this] { Dots()->SelectItemAt(-1, false, false); });
      ASSERT_TRUE(WaitOnUi([this] { return Dots()->SelectedIndex() == 0; }));
      EXPECT_FALSE(Ui().Run([this] { return Find(L"btn_scroll_right")->IsEnabled(); }));
    }
    Ui().Run([this] { DestroyWindow(hwnd_); });
  }
}

TEST_F(MainContentTest, NewsTabsKeepTheLastFourAndTheChosenLabelKeepsItsHotLook) {
  OpenWindow();
  Ui().Run([this] {
    ASSERT_EQ(TabLabels()->GetChildCount(), 2u);
    std::vector<std::string> titles, dates;
    for (size_t i = 0; i < TabPageAt(0)->GetChildCount(); ++i) {
      auto* item = dynamic_cast<MainComponents::TabPage::NewsItem*>(TabPageAt(0)->GetChildAt(i));
      titles.push_back(item->contentLabel->GetTextUtf8());
      dates.push_back(item->dateLabel->GetTextUtf8());
      EXPECT_EQ(item->contentLabel->GetToolTipTextUtf8(), "a tip " + std::to_string(i + 3));
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"a title 3", "a title 4", "a title 5", "a title 6"}));
    EXPECT_EQ(dates, (std::vector<std::string>{"12-03", "12-04", "12-05", "12-06"}));
    EXPECT_EQ(TabPageAt(1)->GetChildCount(), 2u);
    EXPECT_EQ(TabLabelAt(0)->nameLabel->GetText(), L"a");
    EXPECT_EQ(TabLabelAt(1)->nameLabel->GetText(), L"b");
    EXPECT_EQ(Find<ui::TabBox>(L"tab_pages")->GetCurrentIndex(), 0);
    EXPECT_TRUE(TabLabelAt(0)->IsSelected());
    EXPECT_FALSE(TabLabelAt(0)->nameLabel->IsEnabled());
    EXPECT_TRUE(TabLabelAt(1)->nameLabel->IsEnabled());
  });
  EXPECT_TRUE(WaitOnUi([this] { return TabLabelAt(0)->lineControl->IsVisible(); }));

  // Pressing the second label chooses it.
  const POINT second = CentreOf([this] { return TabLabelAt(1); });
  const POINT first = CentreOf([this] { return TabLabelAt(0); });
  Click(second);
  ASSERT_TRUE(WaitOnUi([this] { return Find<ui::TabBox>(L"tab_pages")->GetCurrentIndex() == 1; }));
  EXPECT_TRUE(WaitOnUi([this] {
    return TabLabelAt(1)->IsSelected() && !TabLabelAt(0)->IsSelected() &&
           TabLabelAt(1)->lineControl->IsVisible() && !TabLabelAt(0)->lineControl->IsVisible() &&
           TabLabelAt(0)->nameLabel->IsEnabled();
  }));
  // Off the chosen label its name stays hot; off the other one it goes back to normal. The mouse
  // leaves onto another control of the window, so that entering and leaving follow each move.
  const POINT away = CentreOf([this] { return Find(L"text_title_main"); });
  MoveMouseTo(away);
  MoveMouseTo(second);
  EXPECT_TRUE(WaitOnUi([this] { return TabLabelAt(1)->nameLabel->GetState() == ui::kStateHot; }));
  MoveMouseTo(away);
  MoveMouseTo(first);
  EXPECT_TRUE(WaitOnUi([this] { return TabLabelAt(0)->nameLabel->GetState() == ui::kStateHot; }));
  MoveMouseTo(away);
  Ui().Run([this] {
    EXPECT_EQ(TabLabelAt(1)->nameLabel->GetState(), ui::kStateHot);
    EXPECT_EQ(TabLabelAt(1)->nameLabel->GetHoverBlend(), 255);
    EXPECT_EQ(TabLabelAt(0)->nameLabel->GetState(), ui::kStateNormal);
    EXPECT_EQ(TabLabelAt(0)->nameLabel->GetHoverBlend(), 0);
  });
}

TEST_F(MainContentTest, PosterAndNewsTitleOpenTheirLinksOnButtonDownTheDateDoesNot) {
  OpenWindow();
  // The poster shown now opens its link as the button goes down.
  const POINT poster = CentreOf([this] {
    auto* page = dynamic_cast<MainComponents::ScrollPage*>(Pages()->GetChildAt(form_->currentPosterIndex()));
    return page->imageControl;
  });
  const int shown = Ui().Run([this] { return form_->currentPosterIndex(); });
  MoveMouseTo(poster);
  LeftButton(true);
  EXPECT_EQ(OpenedFiles(), (std::vector<std::wstring>{L"https://poster.example/" + std::to_wstring(shown)}));
  LeftButton(false);

  const POINT date = CentreOf([this] {
    return dynamic_cast<MainComponents::TabPage::NewsItem*>(TabPageAt(0)->GetChildAt(3))->dateLabel;
  });
  const POINT title = CentreOf([this] {
    return dynamic_cast<MainComponents::TabPage::NewsItem*>(TabPageAt(0)->GetChildAt(3))->contentLabel;
  });
  Click(date);
  EXPECT_EQ(OpenedFiles().size(), 1u);
  MoveMouseTo(title);
  LeftButton(true);
  EXPECT_EQ(OpenedFiles().back(), L"https://news.example/a6");
  LeftButton(false);
  {
    std::lock_guard<std::mutex> hold(g_openedLock);
    ASSERT_EQ(g_opened.size(), 2u);
    for (const Opened& opened : g_opened) {
      EXPECT_EQ(opened.verb, L"open");
      EXPECT_EQ(opened.owner, hwnd_);
      EXPECT_EQ(opened.show, SW_SHOW);
    }
  }
}

TEST_F(MainContentTest, JumpLinksOpenAndReportTheirNames) {
  OpenWindow();
  Ui().Run([this] {
    ui::Box* bar = Find<ui::Box>(L"jump_links");
    ASSERT_EQ(bar->GetChildCount(), 2u);
    EXPECT_EQ(bar->GetChildAt(0)->GetDataIdUtf8(), "Forum_weibo");
    EXPECT_EQ(bar->GetChildAt(0)->GetToolTipText(), L"Weibo tip");
    EXPECT_EQ(bar->GetChildAt(1)->GetDataIdUtf8(), "FAQ");
    EXPECT_EQ(bar->GetChildAt(1)->GetToolTipText(), L"");
  });
  Click(CentreOf([this] { return Find<ui::Box>(L"jump_links")->GetChildAt(0); }));
  Click(CentreOf([this] { return Find<ui::Box>(L"jump_links")->GetChildAt(1); }));
  EXPECT_EQ(OpenedFiles(), (std::vector<std::wstring>{L"https://weibo.example/", L"https://faq.example/"}));
  std::vector<Json::Value> reports;
  const ULONGLONG deadline = GetTickCount64() + 30000;
  while ((reports = QueuedReports()).size() < 2 && GetTickCount64() < deadline) Sleep(10);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0]["uitype"].asString(), "community");
  EXPECT_EQ(reports[0]["action"].asString(), "weibo");
  EXPECT_EQ(reports[1]["uitype"].asString(), "community");
  // The record writes its action in lower case.
  EXPECT_EQ(reports[1]["action"].asString(), "faq");
}

TEST_F(MainContentTest, RebuildTakesTheChangedListsAndTitles) {
  OpenWindow();
  Ui().Run([this] {
    EXPECT_EQ(Find<Label>(L"wnd_title")->GetTextId(), L"STRING_GAME_TITLE");
    // The literal text of the markup gives way to the key's text.
    EXPECT_EQ(Find<Label>(L"wnd_title")->GetText(), L"Dorevezi Test");
    EXPECT_EQ(Find<Label>(L"text_version")->GetText(), L"1.2.3");
    EXPECT_EQ(Find<Label>(L"text_title_main")->GetText(), L"Main title");
    EXPECT_EQ(Find<Label>(L"text_title_sub")->GetText(), L"Sub title");
    // What 2225 runs.
    DoreveziCore& core = DoreveziCore::GetInstance();
    core.titles = {{"title_main", L"Other title"}};
    core.jumpLinks = {JumpLink{"link_normal.png", "link_hot.png", "", "Forum_bbs"}};
    core.scrollPages = Posters(2);
    core.newsTabs = {NewsTab("c", 1)};
    EnterCriticalSection(&core.textsLock);
    core.displayVersion = "2.0.0";
    LeaveCriticalSection(&core.textsLock);
    form_->RefreshTitles();
    form_->RefreshScrollPages();
    form_->RefreshTabs();
    form_->LoadWebViewUrl();
    form_->RefreshJumpLinks();
    EXPECT_EQ(Find<Label>(L"text_version")->GetText(), L"2.0.0");
    EXPECT_EQ(Find<Label>(L"text_title_main")->GetText(), L"Other title");
    EXPECT_EQ(Find<Label>(L"text_title_sub")->GetText(), L"");
    ui::Box* bar = Find<ui::Box>(L"jump_links");
    ASSERT_EQ(bar->GetChildCount(), 1u);
    EXPECT_EQ(bar->GetChildAt(0)->GetDataIdUtf8(), "Forum_bbs");
    EXPECT_EQ(Pages()->GetChildCount(), 2u);
    EXPECT_EQ(Dots()->GetChildCount(), 2u);
    EXPECT_EQ(form_->currentPosterIndex(), 0);
    EXPECT_EQ(TabLabels()->GetChildCount(), 1u);
    EXPECT_EQ(TabLabelAt(0)->nameLabel->GetText(), L"c");
    EXPECT_EQ(TabPageAt(0)->GetChildCount(), 1u);
  });
}

TEST_F(MainContentTest, WebViewAddressAndVisibility) {
  struct Case {
    const char* overrideUrl;
    const char* activity;
    const char* language;
    const char* expected;
  };
  const Case cases[] = {
      {"", "https://act.example/p?a=1", "zh_CN", "https://act.example/p?a=1&lang=zh_CN"},
      {"", "https://act.example/p?a=1", "", "https://act.example/p?a=1&lang=en"},
      {"https://override.example/x", "https://act.example/p?a=1", "zh_CN", "https://override.example/x"},
      {"", "", "zh_CN", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    Ui().Run([&] {
      DoreveziCore& core = DoreveziCore::GetInstance();
      core.gateConfig.activityUrl = c.overrideUrl;
      core.SetActivityUrl(c.activity);
      EnterCriticalSection(&core.textsLock);
      core.envConfig.languageCode = c.language;
      LeaveCriticalSection(&core.textsLock);
      EXPECT_EQ(ActivityPageAddress(), c.expected);
    });
  }
  // No address at all: the view starts hidden and stays so; a finished load shows it, and losing
  // the address hides it again.
  OpenWindow();
  Ui().Run([this] {
    ui::Control* view = Find(L"webview");
    ASSERT_NE(dynamic_cast<MainComponents::CefDummyControl*>(view), nullptr);
    EXPECT_FALSE(view->IsVisible());
    form_->OnWebViewLoadEnd(200);
  });
  EXPECT_TRUE(WaitOnUi([this] { return Find(L"webview")->IsVisible(); }));
  Ui().Run([this] {
    DoreveziCore::GetInstance().SetActivityUrl("https://act.example/p?a=1");
    form_->LoadWebViewUrl();
    EXPECT_TRUE(Find(L"webview")->IsVisible());
    DoreveziCore::GetInstance().SetActivityUrl("");
    form_->LoadWebViewUrl();
  });
  EXPECT_TRUE(WaitOnUi([this] { return !Find(L"webview")->IsVisible(); }));
}

TEST_F(MainContentTest, PagePopupsOpenOnlyWebAddressesInTheSystemBrowser) {
  OpenWindow();
  EXPECT_FALSE(form_->OnWebLinkClicked(L"https://popup.example/\u9875"));
  EXPECT_FALSE(form_->OnWebLinkClicked(L""));
  // A page must not start programs or open files through the launcher.
  EXPECT_FALSE(form_->OnWebLinkClicked(L"file:///C:/windows/system32/calc.exe"));
  EXPECT_FALSE(form_->OnWebLinkClicked(L"C:\\windows\\system32\\calc.exe"));
  Ui().Run([] { DoreveziCore::GetInstance().SetMainWindow(nullptr); });
  EXPECT_FALSE(form_->OnWebLinkClicked(L"https://late.example/"));
  std::lock_guard<std::mutex> hold(g_openedLock);
  ASSERT_EQ(g_opened.size(), 1u);
  EXPECT_EQ(g_opened[0].file, L"https://popup.example/\u9875");
  EXPECT_EQ(g_opened[0].verb, L"open");
  EXPECT_EQ(g_opened[0].owner, hwnd_);
  EXPECT_EQ(g_opened[0].show, SW_SHOW);
}

}  // namespace
