// The control query: its packing, and a real box answering it for present, absent, hidden and
// disabled controls, also partly off the screen.
#include <gtest/gtest.h>

#include <string>

#include "dialog_test_support.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/windows/control_query.h"

namespace dialog_test {
namespace {

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

TEST(ControlQueryPacking, FieldsAndBitsComeBackAsPacked) {
  struct Case {
    RECT rect;
    bool visible, enabled;
    RECT expected;  // after clamping
  };
  const Case cases[] = {
      {{10, 20, 110, 54}, true, true, {10, 20, 110, 54}},
      {{-150, -60, -20, 4}, true, false, {-150, -60, -20, 4}},
      {{0, 0, 0, 0}, false, false, {0, 0, 0, 0}},
      {{-16384, -1, 16383, 1}, false, true, {-16384, -1, 16383, 1}},
      {{-20000, 5, 40000, 70000}, true, true, {-16384, 5, 16383, 16383}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Describe(c.rect));
    const LRESULT packed = static_cast<LRESULT>(PackControlQuery(c.rect, c.visible, c.enabled));
    EXPECT_NE(packed, 0);
    const ControlQueryAnswer answer = DecodeControlQuery(packed);
    EXPECT_TRUE(answer.found);
    EXPECT_EQ(answer.visible, c.visible);
    EXPECT_EQ(answer.enabled, c.enabled);
    EXPECT_TRUE(SameRect(answer.rect, c.expected)) << Describe(answer.rect);
  }
  EXPECT_FALSE(DecodeControlQuery(0).found);
}

class ControlQueryTest : public DialogTest {
 protected:
  // Where the control is drawn, from the window's own records (UI thread).
  RECT Expected(HWND box, const wchar_t* name) {
    return Ui().Run([&] {
      const ui::Rect b = BoxControl(box, name)->GetBounds(true);
      POINT origin = {0, 0};
      ClientToScreen(box, &origin);
      return RECT{origin.x + b.left, origin.y + b.top, origin.x + b.right, origin.y + b.bottom};
    });
  }
};

TEST_F(ControlQueryTest, BoxAnswersForItsControls) {
  DoreveziCore::GetInstance().ShowMessageBox(nullptr, L"STRING_ERROR_NOTICE", L"STRING_ERROR_UPDATE", L"",
                                             L"STRING_CONFIRM", Recorder(), false);
  HWND box = WaitForBox(L"MsgBox");
  ASSERT_NE(box, nullptr);

  // Absent: by name, and an atom that names nothing.
  EXPECT_FALSE(Query(box, L"no_such_control").found);
  EXPECT_FALSE(Query(box, L"BTN_YES").found);
  EXPECT_EQ(SendMessageW(box, ControlQueryMessage(), 0, 0), 0);

  const ControlQueryAnswer yes = Query(box, L"btn_yes");
  EXPECT_TRUE(yes.found && yes.visible && yes.enabled);
  EXPECT_TRUE(SameRect(yes.rect, Expected(box, L"btn_yes"))) << Describe(yes.rect);
  EXPECT_GT(yes.rect.right - yes.rect.left, 0);

  // Hidden: the empty no-button.
  const ControlQueryAnswer no = Query(box, L"btn_no");
  EXPECT_TRUE(no.found);
  EXPECT_FALSE(no.visible);

  // Disabled.
  Ui().Run([&] { BoxControl(box, L"btn_yes")->SetEnabled(false); });
  const ControlQueryAnswer disabled = Query(box, L"btn_yes");
  EXPECT_TRUE(disabled.found && disabled.visible);
  EXPECT_FALSE(disabled.enabled);

  // Partly off the screen to the left and the top: negative coordinates.
  const RECT before = Expected(box, L"title");
  Ui().Run([&] {
    RECT window = {};
    GetWindowRect(box, &window);
    SetWindowPos(box, nullptr, window.left - before.left - 40, window.top - before.top - 30, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  });
  const ControlQueryAnswer title = Query(box, L"title");
  const RECT expected = Expected(box, L"title");
  EXPECT_TRUE(title.found && title.visible);
  EXPECT_LT(expected.left, 0);
  EXPECT_LT(expected.top, 0);
  EXPECT_TRUE(SameRect(title.rect, expected)) << Describe(title.rect) << " expected " << Describe(expected);

  // The stand-in main window answers the same way.
  EXPECT_TRUE(QueryControl(ownerHwnd_, L"owner_title").found);
  EXPECT_FALSE(QueryControl(ownerHwnd_, L"btn_yes").found);
}

}  // namespace
}  // namespace dialog_test
