// The box: children's lifetime (deferred deletion through a real window's queue), visibility
// and enabling passed down, hit tests, bubbled events, measuring, list operations and the
// selectable index.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/core/control_test_support.h"

using namespace ui;
using ui_test::ProbeControl;
using ui_test::R;
using ui_test::TestWindow;

namespace {

TestWindow* g_window = nullptr;

LRESULT CALLBACK DeferringProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kMsgDeleteDeferred && g_window) {
    g_window->DeleteDeferredControls();
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// A framework window over a real native window whose procedure handles kMsgDeleteDeferred.
class RealWindowBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DeferringProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BoxTestWindow";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr,
                            wc.hInstance, nullptr);
    ASSERT_NE(hwnd_, nullptr);
    window_.SetHwnd(hwnd_);
    g_window = &window_;
  }
  void TearDown() override {
    g_window = nullptr;
    window_.AttachRoot(nullptr);
    window_.DeleteDeferredControls();
    window_.SetHwnd(nullptr);
    DestroyWindow(hwnd_);
  }
  // Handles every queued message of the window.
  void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, hwnd_, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }

  HWND hwnd_ = nullptr;
  TestWindow window_;
};

TEST_F(RealWindowBoxTest, ChildRemovedInItsOwnClickHandlerLivesUntilTheDeferredDeletion) {
  auto* root = new Box();
  auto* child = new Control();
  child->ApplyAttribute(L"name", L"doomed");
  root->AddChild(child);
  window_.AttachRoot(root);
  std::weak_ptr<base::WeakFlag> alive = child->ObtainWeakFlag();
  bool stillAliveAfterRemoval = false;
  child->AddEventHandler(kEventClick, [&](EventArgs* args) {
    EXPECT_TRUE(root->RemoveChild(args->sender));
    stillAliveAfterRemoval = !alive.expired();
    return true;
  });
  child->RaiseEvent(kEventClick);
  EXPECT_TRUE(stillAliveAfterRemoval);
  EXPECT_FALSE(alive.expired());
  EXPECT_EQ(child->GetParent(), nullptr);
  EXPECT_EQ(child->GetOwnerWindow(), &window_);
  EXPECT_EQ(root->GetChildCount(), 0u);
  EXPECT_EQ(window_.DeferredDeletionCount(), 1u);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, hwnd_, kMsgDeleteDeferred, kMsgDeleteDeferred, PM_NOREMOVE));
  Pump();
  EXPECT_TRUE(alive.expired());
  EXPECT_EQ(window_.FindControlByName(L"doomed"), nullptr);

  // Deferral off: deleted at once. Not owned: only dropped from the list.
  auto* now = new Control();
  root->AddChild(now);
  std::weak_ptr<base::WeakFlag> nowAlive = now->ObtainWeakFlag();
  root->SetDefersChildDeletion(false);
  EXPECT_TRUE(root->RemoveChildAt(0));
  EXPECT_TRUE(nowAlive.expired());
  auto* kept = new Control();
  root->AddChild(kept);
  root->SetOwnsChildren(false);
  EXPECT_TRUE(root->RemoveChild(kept));
  EXPECT_EQ(kept->GetParent(), root);
  EXPECT_FALSE(root->RemoveChild(kept));
  EXPECT_FALSE(root->RemoveChild(nullptr));
  delete kept;
}

TEST(BoxTest, WithoutAWindowRemovedChildrenGoAtOnce) {
  Box box;
  auto* child = new Control();
  box.AddChild(child);
  std::weak_ptr<base::WeakFlag> alive = child->ObtainWeakFlag();
  EXPECT_TRUE(box.RemoveChild(child));
  EXPECT_TRUE(alive.expired());
}

TEST_F(RealWindowBoxTest, HidingABoxHidesItsDescendantsByParentAndShowingRestoresThem) {
  auto* root = new Box();
  auto* panel = new Box();
  auto* inner = new Box();
  auto* leaf = new Control();
  auto* ownHidden = new Control();
  ownHidden->SetVisible(false);
  inner->AddChild(leaf);
  panel->AddChild(inner);
  panel->AddChild(ownHidden);
  root->AddChild(panel);
  window_.AttachRoot(root);

  panel->SetVisible(false);
  for (Control* control : {static_cast<Control*>(inner), leaf, ownHidden}) {
    EXPECT_FALSE(control->IsVisibleByParent());
    EXPECT_FALSE(control->IsVisible());
  }
  EXPECT_TRUE(leaf->IsOwnVisible());
  // A child added to the hidden box keeps its own flag and is hidden by parent.
  auto* late = new Control();
  panel->AddChild(late);
  EXPECT_TRUE(late->IsOwnVisible());
  EXPECT_FALSE(late->IsVisibleByParent());

  panel->SetVisible(true);
  for (Control* control : {static_cast<Control*>(inner), leaf, late, ownHidden}) {
    EXPECT_TRUE(control->IsVisibleByParent());
  }
  EXPECT_TRUE(leaf->IsVisible());
  EXPECT_FALSE(ownHidden->IsVisible());

  // Disabling passes down; so does enabling.
  panel->SetEnabled(false);
  EXPECT_FALSE(leaf->IsEnabled());
  EXPECT_EQ(leaf->GetState(), kStateDisabled);
  panel->SetEnabled(true);
  EXPECT_TRUE(leaf->IsEnabled());
}

TEST_F(RealWindowBoxTest, HitTestsHonourPaddingMouseChildAndFloatingChildren) {
  auto* root = new Box();
  root->ApplyAttributeString(L"padding=\"10,10,10,10\"");
  auto* filler = new Control();  // placed by hand over the whole box, padding included
  auto* floating = new Control();
  floating->ApplyAttributeString(L"float=\"true\" width=\"20\" height=\"20\"");
  root->AddChild(filler);
  root->AddChild(floating);
  window_.AttachRoot(root);
  root->SetBounds(R(0, 0, 100, 100));
  filler->SetBounds(R(0, 0, 100, 100));
  floating->SetBounds(R(0, 0, 20, 20));

  struct Case {
    const char* title;
    Point point;
    Control* expected;
  } cases[] = {
      {"inside the content", Point{50, 50}, filler},
      {"in the padding, on a non-floating child", Point{95, 95}, root},
      {"in the padding, on a floating child", Point{5, 5}, floating},
      {"outside the box", Point{150, 50}, nullptr},
  };
  for (const Case& c : cases) EXPECT_EQ(window_.FindControl(c.point), c.expected) << c.title;

  root->SetMouseChildEnabled(false);
  EXPECT_EQ(window_.FindControl(Point{50, 50}), root);
  EXPECT_EQ(window_.FindControl(Point{5, 5}), root);
  root->ApplyAttribute(L"mousechild", L"true");
  EXPECT_EQ(window_.FindControl(Point{50, 50}), filler);
  // A box without the mouse answers nothing for itself.
  root->SetMouseEnabled(false);
  EXPECT_EQ(window_.FindControl(Point{95, 95}), nullptr);
}

TEST_F(RealWindowBoxTest, BubbledHandlersSeeEventsTheSendersHandlersStopped) {
  std::vector<std::string> log;
  auto* root = new Box();
  auto* panel = new Box();
  root->AddChild(panel);
  window_.AttachRoot(root);
  panel->AddEventHandler(kEventClick, [&](EventArgs*) {
    log.push_back("panel own");
    return false;
  });
  panel->AddBubbledEventHandler(kEventClick, [&](EventArgs* args) {
    log.push_back("panel bubbled");
    EXPECT_EQ(args->sender, panel);
    return true;
  });
  root->AddBubbledEventHandler(kEventAll, [&](EventArgs* args) {
    log.push_back(args->type == kEventClick ? "root all" : "root other");
    return true;
  });
  panel->RaiseEvent(kEventClick);
  // The panel's own handler stopped it, its bubbled handler overruled that, so it climbed.
  EXPECT_EQ(log, (std::vector<std::string>{"panel own", "panel bubbled", "root all"}));

  // A false bubbled handler ends the climb.
  log.clear();
  panel->AddBubbledEventHandler(kEventClick, [&](EventArgs*) {
    log.push_back("panel stops");
    return false;
  });
  panel->RaiseEvent(kEventClick);
  EXPECT_EQ(log, (std::vector<std::string>{"panel own", "panel bubbled", "panel stops"}));

  // A handler that deletes the box ends the dispatch without touching it again.
  log.clear();
  auto* doomed = new Box();
  root->AddChild(doomed);
  root->SetDefersChildDeletion(false);
  doomed->AddBubbledEventHandler(kEventClick, [&](EventArgs*) {
    root->RemoveChild(doomed);
    return true;
  });
  doomed->AddMarkupBubbledEventHandler(kEventClick, [&](EventArgs*) {
    log.push_back("after deletion");
    return true;
  });
  doomed->RaiseEvent(kEventClick);
  EXPECT_TRUE(log.empty());
}

TEST(BoxTest, MeasureIsCachedUntilAChildAsks) {
  TestWindow window;
  auto* root = new VBox();
  root->ApplyAttribute(L"height", L"auto");
  window.AttachRoot(root);
  VBox& box = *root;
  auto* text = new ProbeControl();
  text->ApplyAttributeString(L"width=\"auto\" height=\"auto\"");
  text->textSize = Size{40, 12};
  box.AddChild(text);
  EXPECT_EQ(box.Measure(Size{100, 100}).cy, 12);
  EXPECT_EQ(box.Measure(Size{100, 100}).cy, 12);
  EXPECT_EQ(text->textMeasures, 1);
  text->textSize = Size{40, 30};
  text->RequestAncestorLayout();
  EXPECT_TRUE(box.IsMeasurePending());
  EXPECT_EQ(box.Measure(Size{100, 100}).cy, 30);
  EXPECT_EQ(text->textMeasures, 2);
  // A fixed-size box answers its declared size without measuring.
  Box fixed;
  fixed.ApplyAttributeString(L"width=\"70\"");
  EXPECT_EQ(fixed.Measure(Size{1, 1}).cx, 70);
  EXPECT_EQ(fixed.Measure(Size{1, 1}).cy, kSizeStretch);
}

TEST_F(RealWindowBoxTest, SetBoundsArrangesEvenUnchangedAndRaisesResizedOnce) {
  auto* root = new VBox();
  window_.AttachRoot(root);
  int resized = 0;
  root->AddEventHandler(kEventResized, [&](EventArgs*) {
    ++resized;
    return true;
  });
  root->SetBounds(R(0, 0, 50, 50));  // no children: stored, one event
  EXPECT_EQ(resized, 1);
  EXPECT_EQ(root->GetBounds().Width(), 50);
  auto* child = new Control();
  root->AddChild(child);
  root->SetBounds(R(0, 0, 50, 50));
  EXPECT_EQ(resized, 1);
  EXPECT_EQ(child->GetBounds().Height(), 50);
  child->SetBounds(R(5, 5, 6, 6));
  root->SetBounds(R(0, 0, 50, 50));
  EXPECT_EQ(child->GetBounds().Width(), 50);
}

class InitOrderControl : public Box {
 public:
  InitOrderControl(std::vector<std::string>* log, std::string name) : log_(log), name_(std::move(name)) {}
  void OnInitialize() override { log_->push_back(name_); }

 private:
  std::vector<std::string>* log_;
  std::string name_;
};

TEST(BoxTest, AttachingInitialisesChildrenBeforeTheirBox) {
  std::vector<std::string> log;
  TestWindow window;
  auto* root = new Box();
  auto* panel = new InitOrderControl(&log, "panel");
  panel->AddChild(new InitOrderControl(&log, "first"));
  panel->AddChild(new InitOrderControl(&log, "second"));
  root->AddChild(panel);
  window.AttachRoot(root);
  EXPECT_EQ(log, (std::vector<std::string>{"first", "second", "panel"}));
  EXPECT_EQ(panel->GetChildAt(0)->GetOwnerWindow(), &window);
}

TEST(BoxTest, ListOperations) {
  Box box;
  Control* c[4];
  for (Control*& control : c) control = new Control();
  EXPECT_FALSE(box.AddChild(nullptr));
  EXPECT_TRUE(box.AddChild(c[0]));
  EXPECT_TRUE(box.InsertChildAt(c[1], 0));   // before
  EXPECT_TRUE(box.InsertChildAt(c[2], 2));   // at the end
  EXPECT_FALSE(box.InsertChildAt(c[3], 9));  // beyond the end
  EXPECT_FALSE(box.InsertChildAt(nullptr, 0));
  box.AddChild(c[3]);
  auto order = [&box] {
    std::vector<Control*> out;
    for (size_t i = 0; i < box.GetChildCount(); ++i) out.push_back(box.GetChildAt(i));
    return out;
  };
  EXPECT_EQ(order(), (std::vector<Control*>{c[1], c[0], c[2], c[3]}));
  EXPECT_TRUE(box.MoveChildTo(c[1], 3));
  EXPECT_EQ(order(), (std::vector<Control*>{c[0], c[2], c[3], c[1]}));
  EXPECT_FALSE(box.MoveChildTo(c[1], 4));
  Control stranger;
  EXPECT_FALSE(box.MoveChildTo(&stranger, 0));
  EXPECT_EQ(box.GetChildIndex(&stranger), -1);
  box.SwapChildren(c[0], c[1]);
  EXPECT_EQ(order(), (std::vector<Control*>{c[1], c[2], c[3], c[0]}));
  EXPECT_EQ(box.GetChildAt(4), nullptr);
  EXPECT_FALSE(box.RemoveChildAt(4));
  box.RemoveAllChildren();
  EXPECT_EQ(box.GetChildCount(), 0u);

  // A null layout is refused: the box would have nothing to arrange with.
  Layout* layout = box.GetLayout();
  box.ReplaceLayout(nullptr);
  EXPECT_EQ(box.GetLayout(), layout);
  auto* stack = new VLayout();
  stack->SetOwner(&box);
  box.ReplaceLayout(stack);
  EXPECT_EQ(box.GetLayout(), stack);
}

class Element : public Control {
 public:
  bool IsSelectableElement() const override { return true; }
};

TEST(BoxTest, FindSelectableIndex) {
  Box list;
  EXPECT_EQ(list.FindSelectableIndex(0, true), -1);
  // 0-5 disabled elements, 6 plain control, 7 element, 8 hidden element, 9 element.
  for (int i = 0; i < 10; ++i) {
    Control* child = i == 6 ? new Control() : new Element();
    if (i <= 5) child->SetEnabled(false);
    if (i == 8) child->SetVisible(false);
    list.AddChild(child);
  }
  struct Case {
    int start;
    bool forward;
    int expected;
  } cases[] = {
      {5, false, 7},  // none backwards: forward from 0
      {0, true, 7},   {8, true, 9}, {9, false, 9}, {8, false, 7},
      {-4, true, 7},  // raised to 0
      {42, false, 9},  // lowered to the last
  };
  for (const Case& c : cases) {
    EXPECT_EQ(list.FindSelectableIndex(c.start, c.forward), c.expected) << c.start << (c.forward ? " fwd" : " back");
  }
  list.GetChildAt(9)->SetEnabled(false);
  EXPECT_EQ(list.FindSelectableIndex(8, true), -1);
}

}  // namespace
