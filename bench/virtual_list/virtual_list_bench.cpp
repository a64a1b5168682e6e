// Virtual lists of 100 and 100,000 items (height 20, pool 40, view 600) scrolled by 1000
// painted wheel steps (120 pixels) and 1000 painted page steps, down to the end and back up;
// beside them plain repaints of the same view and a native owner-data list view (LVS_OWNERDATA)
// scrolled by the same steps. Prints the time per step and the element count.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "ui/controls/virtual_list_box.h"
#include "ui/core/window.h"
#include "ui/resources/ui_runtime.h"

namespace {

constexpr int kWidth = 300, kView = 600, kItemHeight = 20, kPool = 40, kSteps = 1000, kWheelStep = 120;

class BenchWindow : public ui::Window {
 public:
  std::wstring RegisteredClassName() const override { return L"DvVirtualListBench"; }
  LRESULT RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_CREATE) AttachNativeWindow(hwnd_);
    if (message == WM_PAINT) ++paints;
    return ui::Window::RouteMessage(message, wParam, lParam);
  }
  int paints = 0;
};

class Items : public ui::IListItemProvider {
 public:
  explicit Items(int count) : count_(count) {}
  ui::Control* CreateItem() override {
    auto* element = new ui::ListContainerElement();
    element->ApplyAttribute(L"font", L"bench");
    element->ApplyAttribute(L"height", L"20");
    return element;
  }
  void FillItem(ui::Control* element, int index) override {
    auto* item = static_cast<ui::ListContainerElement*>(element);
    item->SetText(L"Item " + std::to_wstring(index));
    item->ApplyAttribute(L"bkcolor", index % 2 ? L"bench.odd" : L"bench.even");
  }
  int ItemCount() override { return count_; }

 private:
  int count_;
};

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void Settle(int ms) {
  const ULONGLONG until = GetTickCount64() + ms;
  while (GetTickCount64() < until) {
    Pump();
    Sleep(5);
  }
}

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

struct Timing {
  double mean = 0;
  double median = 0;
};

// The kinds of step are interleaved round by round, so a change of load on a shared machine
// touches each alike.
std::vector<Timing> TimeInterleaved(const std::vector<std::function<void()>>& steps) {
  std::vector<std::vector<double>> times(steps.size());
  for (int i = 0; i < kSteps; ++i) {
    for (size_t k = 0; k < steps.size(); ++k) {
      const double start = Now();
      steps[k]();
      times[k].push_back(Now() - start);
    }
  }
  std::vector<Timing> timings;
  for (std::vector<double>& list : times) {
    Timing timing;
    timing.mean = std::accumulate(list.begin(), list.end(), 0.0) / list.size();
    std::sort(list.begin(), list.end());
    timing.median = list[list.size() / 2];
    timings.push_back(timing);
  }
  return timings;
}

// One step down (or up, once the end is reached, and down again at the top): the scroll,
// then the paint it asked for.
class Stepper {
 public:
  Stepper(std::function<int()> position, std::function<void(int)> move, std::function<void()> paint)
      : position_(std::move(position)), move_(std::move(move)), paint_(std::move(paint)) {}
  void Step(int distance) {
    const int before = position_();
    move_(down_ ? distance : -distance);
    if (position_() == before) {
      down_ = !down_;
      move_(down_ ? distance : -distance);
    }
    paint_();
  }

 private:
  std::function<int()> position_;
  std::function<void(int)> move_;
  std::function<void()> paint_;
  bool down_ = true;
};

struct ListRun {
  Timing wheel, page, wheelRepaint, pageRepaint;
  size_t elements = 0;
  int paints = 0;
};

ListRun RunVirtualList(int itemCount) {
  ListRun run;
  Items items(itemCount);
  auto* window = new BenchWindow();
  HWND hwnd = window->CreateNativeWindow(nullptr, L"virtual list bench", WS_POPUP, 0, false,
                                         ui::Rect{0, 0, kWidth, kView});
  if (!hwnd) return run;
  window->ShowNativeWindow(true, false);
  auto* list = new ui::VirtualListBox();
  list->ApplyAttribute(L"vscrollbar", L"true");
  list->SetItemProvider(&items);
  list->SetItemHeight(kItemHeight);
  list->InitItems(kPool);
  window->AttachRoot(list);
  InvalidateRect(hwnd, nullptr, FALSE);
  UpdateWindow(hwnd);
  Settle(300);

  const auto paint = [&] { UpdateWindow(hwnd); };
  Stepper wheel([&] { return list->GetScrollOffset().cy; },
                [&](int d) { d > 0 ? list->ScrollDownBy(d) : list->ScrollUpBy(-d); }, paint);
  Stepper page([&] { return list->GetScrollOffset().cy; },
               [&](int d) { d > 0 ? list->PageDown() : list->PageUp(); }, paint);
  const auto repaint = [&] {
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
  };
  const int paintsBefore = window->paints;
  // Each kind of step beside plain repaints of its own phase.
  std::vector<Timing> timings = TimeInterleaved({[&] { wheel.Step(kWheelStep); }, repaint});
  run.wheel = timings[0];
  run.wheelRepaint = timings[1];
  timings = TimeInterleaved({[&] { page.Step(kView); }, repaint});
  run.page = timings[0];
  run.pageRepaint = timings[1];
  run.paints = window->paints - paintsBefore;
  run.elements = list->GetChildCount();
  DestroyWindow(hwnd);
  delete window;
  Pump();
  return run;
}

// The native owner-data list view: it asks its parent for each shown item's text.
int g_nativeItems = 0;

LRESULT CALLBACK NativeParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header->code == LVN_GETDISPINFOW) {
      auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
      if (info->item.mask & LVIF_TEXT) {
        swprintf(info->item.pszText, info->item.cchTextMax, L"Item %d", info->item.iItem);
      }
      return 0;
    }
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

ListRun RunNativeList(int itemCount) {
  ListRun run;
  g_nativeItems = itemCount;
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = NativeParentProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"DvNativeListBench";
  RegisterClassW(&windowClass);
  HWND parent = CreateWindowExW(0, L"DvNativeListBench", L"native list", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kView,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
  HWND view = CreateWindowExW(0, WC_LISTVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | WS_VSCROLL | LVS_REPORT | LVS_OWNERDATA | LVS_NOCOLUMNHEADER, 0, 0,
                              kWidth, kView, parent, nullptr, windowClass.hInstance, nullptr);
  if (!parent || !view) return run;
  LVCOLUMNW column = {};
  column.mask = LVCF_WIDTH;
  column.cx = kWidth - 20;
  SendMessageW(view, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  SendMessageW(view, LVM_SETITEMCOUNT, itemCount, 0);
  UpdateWindow(view);
  Settle(300);

  const auto paint = [&] { UpdateWindow(view); };
  const auto top = [&] { return static_cast<int>(SendMessageW(view, LVM_GETTOPINDEX, 0, 0)); };
  Stepper wheel(top, [&](int d) { SendMessageW(view, LVM_SCROLL, 0, d); }, paint);
  Stepper page(top, [&](int d) { SendMessageW(view, LVM_SCROLL, 0, d); }, paint);
  const auto repaint = [&] {
    InvalidateRect(view, nullptr, FALSE);
    UpdateWindow(view);
  };
  std::vector<Timing> timings = TimeInterleaved({[&] { wheel.Step(kWheelStep); }, repaint});
  run.wheel = timings[0];
  run.wheelRepaint = timings[1];
  timings = TimeInterleaved({[&] { page.Step(kView); }, repaint});
  run.page = timings[0];
  run.pageRepaint = timings[1];
  DestroyWindow(parent);
  Pump();
  return run;
}

}  // namespace

int main() {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  ui::UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN");
  ui::UiRuntime::RegisterFont(L"bench", L"system", 14, false, false, false, true);
  ui::UiRuntime::SetColor(L"bench.odd", 0xFFE8ECF4u);
  ui::UiRuntime::SetColor(L"bench.even", 0xFFFFFFFFu);

  printf("virtual_list: view %d x %d, item height %d, pool %d, %d steps each (per step: mean / median)\n", kWidth,
         kView, kItemHeight, kPool, kSteps);
  const int counts[] = {100, 100000};
  ListRun lists[2], natives[2];
  for (int i = 0; i < 2; ++i) {
    lists[i] = RunVirtualList(counts[i]);
    natives[i] = RunNativeList(counts[i]);
  }
  bool ok = true;
  for (int i = 0; i < 2; ++i) {
    const ListRun& r = lists[i];
    const ListRun& n = natives[i];
    printf("\n%d items: virtual list with %zu elements\n", counts[i], r.elements);
    printf("  wheel step     %8.1f / %8.1f us  beside plain repaints of %8.1f / %8.1f us: %5.2fx (aim <= 1.3x)\n",
           r.wheel.mean, r.wheel.median, r.wheelRepaint.mean, r.wheelRepaint.median,
           r.wheel.median / r.wheelRepaint.median);
    printf("  page step      %8.1f / %8.1f us  beside plain repaints of %8.1f / %8.1f us: %5.2fx (aim <= 1.3x)\n",
           r.page.mean, r.page.median, r.pageRepaint.mean, r.pageRepaint.median, r.page.median / r.pageRepaint.median);
    printf("  native owner-data list view (context): wheel %8.1f / %8.1f us (repaints %8.1f), page %8.1f / %8.1f us "
           "(repaints %8.1f)\n",
           n.wheel.mean, n.wheel.median, n.wheelRepaint.median, n.page.mean, n.page.median, n.pageRepaint.median);
    if (r.elements != static_cast<size_t>(kPool) || r.paints != 4 * kSteps) ok = false;
  }
  printf("\n");
  for (int i = 0; i < 2; ++i) {
    printf("%d items: wheel step %5.2fx the native list view's (aim <= 2x), page step %5.2fx\n", counts[i],
           lists[i].wheel.median / natives[i].wheel.median, lists[i].page.median / natives[i].page.median);
  }
  const auto relative = [](const ListRun& r, bool page) {
    return page ? r.page.median / r.pageRepaint.median : r.wheel.median / r.wheelRepaint.median;
  };
  printf("100,000 against 100 items (aim <= 1.1x): wheel %5.2fx, page %5.2fx; each measured against its own plain "
         "repaints (the load of the machine changes between runs): wheel %5.2fx, page %5.2fx; elements %zu and %zu\n",
         lists[1].wheel.median / lists[0].wheel.median, lists[1].page.median / lists[0].page.median,
         relative(lists[1], false) / relative(lists[0], false), relative(lists[1], true) / relative(lists[0], true),
         lists[1].elements, lists[0].elements);
  ui::UiRuntime::Uninitialize();
  if (!ok) fprintf(stderr, "a list did not keep its pool of %d or missed paints\n", kPool);
  return ok ? 0 : 1;
}
