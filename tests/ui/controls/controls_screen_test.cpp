// Labels, buttons, check boxes and options in real windows on the display, driven with
// SendInput and read back from the screen.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "test_support/temp_dir.h"
#include "ui/controls/button.h"
#include "ui/core/window_test_support.h"
#include "ui/resources/image_fixtures.h"

using namespace window_test;
using ui::Rect;
using ui_test::PumpUntil;

namespace {

constexpr int kLeft = 100, kTop = 100;
constexpr uint32_t kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu, kWhite = 0xFFFFFFFFu;
const wchar_t kFont[] = L"controls.screen.16";

class ControlsScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(ui::UiRuntime::RegisterFont(kFont, L"system", 16, false, false, false, false), nullptr);
    ui::UiRuntime::SetColor(L"s.red", kRed);
    ui::UiRuntime::SetColor(L"s.blue", kBlue);
    ui::UiRuntime::SetColor(L"s.white", kWhite);
    MoveMouseTo(kLeft + 390, kTop + 290);
  }
  void TearDown() override { MouseButton(MOUSEEVENTF_LEFTUP); }

  // Opens a 400 x 300 window of a white root holding the children at their bounds.
  void Open(const std::vector<std::pair<ui::Control*, Rect>>& children) {
    window = OpenWindow(Rect{kLeft, kTop, kLeft + 400, kTop + 300}, false);
    ui::Box* root = RootWith(Rect{}, children);
    root->ApplyAttribute(L"bkcolor", L"s.white");
    window->AttachRoot(root);
    PumpUntilPainted(*window);
  }
  void Watch(ui::Control* control, const std::string& name) {
    for (ui::EventType type : {ui::kEventClick, ui::kEventSelect, ui::kEventUnselect}) {
      control->AddEventHandler(type, [this, name, type](ui::EventArgs*) {
        events.push_back(name + (type == ui::kEventClick ? ":click" : type == ui::kEventSelect ? ":select" : ":unselect"));
        return true;
      });
    }
  }
  // Each input has been handled when its call returns.
  void ClickAt(int x, int y) {
    MoveMouseTo(kLeft + x, kTop + y);
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    MouseButton(MOUSEEVENTF_LEFTUP);
  }
  Capture Grab() {
    RECT rect{kLeft, kTop, kLeft + 400, kTop + 300};
    return CaptureScreen(rect);
  }
  // Columns holding red ink inside area, [first, last]; (-1, -1) when none.
  static std::pair<int, int> RedColumns(const Capture& capture, const Rect& area) {
    std::pair<int, int> range{-1, -1};
    for (int x = area.left; x < area.right; ++x)
      for (int y = area.top; y < area.bottom; ++y) {
        const uint32_t p = capture.At(x, y);
        if (Channel(p, 16) > 0x80 && Channel(p, 8) < 0x80 && Channel(p, 0) < 0x80) {
          if (range.first < 0) range.first = x;
          range.second = x;
        }
      }
    return range;
  }
  static std::pair<int, int> RedRows(const Capture& capture, const Rect& area) {
    std::pair<int, int> range{-1, -1};
    for (int y = area.top; y < area.bottom; ++y)
      for (int x = area.left; x < area.right; ++x) {
        const uint32_t p = capture.At(x, y);
        if (Channel(p, 16) > 0x80 && Channel(p, 8) < 0x80 && Channel(p, 0) < 0x80) {
          if (range.first < 0) range.first = y;
          range.second = y;
        }
      }
    return range;
  }
  ui::Label* MakeLabel(const wchar_t* align, const wchar_t* text) {
    auto* label = new ui::Label();
    label->ApplyAttribute(L"font", kFont);
    label->ApplyAttribute(L"normaltextcolor", L"s.red");
    label->ApplyAttribute(L"align", align);
    label->ApplyAttribute(L"text", text);
    return label;
  }

  WindowPtr window;
  std::vector<std::string> events;
};

TEST_F(ControlsScreenTest, LabelsShowTheirTextInColourAndPlace) {
  // Rows 50 px high, 300 px wide, starting at x 50.
  Open({{MakeLabel(L"left", L"MMMM"), Rect{50, 0, 350, 50}},
        {MakeLabel(L"center", L"MMMM"), Rect{50, 50, 350, 100}},
        {MakeLabel(L"right", L"MMMM"), Rect{50, 100, 350, 150}},
        {MakeLabel(L"hcenter,vcenter", L"MMMM"), Rect{50, 150, 350, 200}},
        {MakeLabel(L"left", L"MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM"), Rect{50, 200, 150, 250}}});
  const Capture capture = Grab();
  SaveCapture(capture, "controls_labels");

  const auto left = RedColumns(capture, Rect{0, 0, 400, 50});
  ASSERT_GE(left.first, 0);
  EXPECT_LE(std::abs(left.first - 50), 3);
  const auto center = RedColumns(capture, Rect{0, 50, 400, 100});
  EXPECT_NEAR((center.first + center.second) / 2, 200, 4);
  EXPECT_LT(RedRows(capture, Rect{0, 50, 400, 100}).first, 50 + 12);  // top
  const auto right = RedColumns(capture, Rect{0, 100, 400, 150});
  EXPECT_GE(right.second, 346);
  EXPECT_LE(right.second, 350);
  const auto both = RedColumns(capture, Rect{0, 150, 400, 200});
  const auto bothRows = RedRows(capture, Rect{0, 150, 400, 200});
  EXPECT_NEAR((both.first + both.second) / 2, 200, 4);
  EXPECT_NEAR((bothRows.first + bothRows.second) / 2, 175, 5);
  // Too long: cut inside its 100 px.
  const auto cut = RedColumns(capture, Rect{0, 200, 400, 250});
  ASSERT_GE(cut.first, 0);
  EXPECT_LT(cut.second, 150);
}

TEST_F(ControlsScreenTest, ClicksKeysAndGroupsThroughRealInput) {
  auto* button = new ui::Button();
  auto* check = new ui::CheckBox();
  ui::Option* options[3];
  for (auto*& option : options) {
    option = new ui::Option();
    option->ApplyAttribute(L"group", L"letters");
  }
  Open({{button, Rect{10, 10, 110, 50}}, {check, Rect{10, 60, 110, 100}}, {options[0], Rect{10, 110, 110, 150}},
        {options[1], Rect{10, 160, 110, 200}}, {options[2], Rect{10, 210, 110, 250}}});
  Watch(button, "button");
  Watch(check, "check");
  Watch(options[0], "a");
  Watch(options[1], "b");
  Watch(options[2], "c");

  ClickAt(50, 30);
  EXPECT_EQ(events, (std::vector<std::string>{"button:click"}));
  EXPECT_EQ(window->GetFocusedControl(), button);
  // Keys go to the foreground window: other test processes on the display may have taken it.
  SetForegroundWindow(window->GetHwnd());
  SetFocus(window->GetHwnd());
  PumpUntil([&] { return GetForegroundWindow() == window->GetHwnd(); }, 30000);
  Key(VK_SPACE, false);
  Key(VK_SPACE, true);
  Key(VK_RETURN, false);
  Key(VK_RETURN, true);
  PumpUntil([&] { return events.size() >= 3; }, 30000);
  EXPECT_EQ(events, (std::vector<std::string>{"button:click", "button:click", "button:click"}));
  events.clear();

  ClickAt(50, 80);
  ClickAt(50, 80);
  EXPECT_EQ(events, (std::vector<std::string>{"check:select", "check:unselect"}));
  EXPECT_FALSE(check->IsSelected());
  events.clear();

  options[0]->SetSelected(true, false);
  EXPECT_TRUE(events.empty());
  ClickAt(50, 180);
  EXPECT_EQ(events, (std::vector<std::string>{"b:click", "a:unselect", "c:unselect", "b:select"}));
  events.clear();
  options[2]->SetSelected(true, false);
  EXPECT_TRUE(events.empty());
  EXPECT_FALSE(options[1]->IsSelected());

  // Moved to its own group, "c" is no longer unselected by a click on "a".
  options[2]->SetGroupName(L"other");
  events.clear();
  ClickAt(50, 130);
  EXPECT_EQ(events, (std::vector<std::string>{"a:click", "b:unselect", "a:select"}));
  EXPECT_TRUE(options[2]->IsSelected());
}

TEST_F(ControlsScreenTest, HoverFadesTheHotImageInAndDisabledSelectedTextIsGrey) {
  test_support::TempDir dir;
  auto write = [&](const wchar_t* name, uint32_t argb) {
    const std::wstring path = dir.Path() + L"\\" + name;
    EXPECT_TRUE(test_images::WriteBytes(path, test_images::MakeRgbaPng(100, 40, std::vector<uint32_t>(4000, argb))));
    return path;
  };
  auto* button = new ui::Button();
  button->ApplyAttribute(L"normalimage", write(L"normal.png", kRed));
  button->ApplyAttribute(L"hotimage", write(L"hot.png", kBlue));
  auto* check = new ui::CheckBox();
  check->ApplyAttribute(L"font", kFont);
  check->ApplyAttribute(L"text", L"MMMM");
  check->ApplyAttribute(L"normaltextcolor", L"s.blue");
  check->ApplyAttribute(L"selectedtextcolor", L"s.blue");
  check->ApplyAttribute(L"disabledtextcolor", L"s.red");
  check->ApplyAttribute(L"selected", L"true");
  check->SetEnabled(false);
  Open({{button, Rect{10, 10, 110, 50}}, {check, Rect{10, 100, 210, 140}}});

  Capture before = Grab();
  EXPECT_TRUE(RgbNear(before.At(60, 30), kRed));
  // The fade runs over 4 s instead of 250 ms and is held part-way, so the screen can be
  // read mid-fade however late this thread runs.
  ui::AnimationPlayer* fade = button->GetAnimator().GetPlayer(ui::kEffectHot);
  ASSERT_NE(fade, nullptr);
  fade->duration = 4000;
  MoveMouseTo(kLeft + 60, kTop + 30);
  ASSERT_TRUE(PumpUntil([&] { return button->GetHoverBlend() >= 96; }, 30000));
  fade->Pause();
  const int held = button->GetHoverBlend();
  EXPECT_LT(held, 255) << "the hot image fades in";
  // Mid-fade both images show.
  auto mixed = [](uint32_t p) { return Channel(p, 16) > 0x20 && Channel(p, 0) > 0x20; };
  PumpUntil([&] { return mixed(Grab().At(60, 30)); }, 30000);
  const Capture middle = Grab();
  // The rest at the usual speed.
  fade->duration = 250;
  fade->ContinueForward();
  ASSERT_TRUE(PumpUntil([&] { return button->GetHoverBlend() >= 255; }, 30000));
  PumpUntil([&] { return RgbNear(Grab().At(60, 30), kBlue); }, 30000);
  const Capture after = Grab();
  SaveCapture(middle, "controls_hover_middle");
  SaveCapture(after, "controls_hover_end");
  EXPECT_TRUE(mixed(middle.At(60, 30))) << "blend " << held << ", pixel 0x" << std::hex << middle.At(60, 30);
  // At the end the hot image alone.
  EXPECT_TRUE(RgbNear(after.At(60, 30), kBlue));

  // The disabled selected check box draws its text red, the disabled colour.
  EXPECT_GE(RedColumns(after, Rect{10, 100, 210, 140}).first, 0);
}

}  // namespace
