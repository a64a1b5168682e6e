// The main window's content: titles, poster strip, news tabs, web-page area and link bar.
#include "base/thread_registry.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/usage_reports.h"
#include "dorevezi/windows/main_components.h"
#include "dorevezi/windows/main_form.h"
#include "ui/controls/list_box.h"
#include "ui/controls/scroll_bar.h"
#include "ui/controls/tab_box.h"
#include "ui/core/box.h"
#include "ui/core/string_util.h"
#include "ui/resources/language_table.h"
#include "ui/resources/ui_runtime.h"

namespace {

// The poster strip advances every 2 s; a user's choice holds it for four ticks.
constexpr int64_t kPosterTickMicroseconds = 2000000;
constexpr int32_t kPosterHoldTicks = 3;

std::wstring Wide(const std::string& text) {
  std::wstring wide;
  ui::MultiByteToWide(text, wide, CP_UTF8);
  return wide;
}

ui::Control* FindChild(ui::Control* root, const wchar_t* name) {
  return root ? root->LocateControl(ui::MatchControlName, const_cast<wchar_t*>(name), 0) : nullptr;
}

}  // namespace

std::string ActivityPageAddress() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  if (!core.gateConfig.activityUrl.empty()) return core.gateConfig.activityUrl;
  const std::string activity = core.GetActivityUrl();
  if (activity.empty()) return std::string();
  const std::string language = core.GetEnvConfig().languageCode;
  return activity + "&lang=" + (language.empty() ? std::string("en") : language);
}

void MainForm::BindTitles() {
  windowTitle_ = dynamic_cast<ui::LabelTemplate<ui::Control>*>(FindControlByName(L"wnd_title"));
  versionText_ = dynamic_cast<ui::LabelTemplate<ui::Control>*>(FindControlByName(L"text_version"));
  mainTitle_ = dynamic_cast<ui::LabelTemplate<ui::Control>*>(FindControlByName(L"text_title_main"));
  subTitle_ = dynamic_cast<ui::LabelTemplate<ui::Control>*>(FindControlByName(L"text_title_sub"));
  RefreshTitles();
}

void MainForm::RefreshTitles() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  if (windowTitle_) windowTitle_->SetTextId(L"STRING_GAME_TITLE", true);
  if (versionText_) versionText_->SetTextUtf8(core.GetVersionTexts().displayVersion);
  const auto titleOf = [&core](const char* key) {
    const auto found = core.titles.find(key);
    return found == core.titles.end() ? std::wstring() : found->second;
  };
  if (mainTitle_) mainTitle_->SetText(titleOf("title_main"));
  if (subTitle_) subTitle_->SetText(titleOf("title_sub"));
}

void MainForm::BuildScrollPages() {
  scrollPages_ = dynamic_cast<ui::ListBox*>(FindControlByName(L"scroll_pages"));
  if (scrollPages_) {
    if (ui::ScrollBar* bar = scrollPages_->GetHorizontalScrollBar()) bar->SetVisible(false);
    scrollPages_->SetKeyboardEnabled(false);
    scrollPages_->SetWheelEnabled(false);
  }
  scrollDots_ = dynamic_cast<ui::ListBox*>(FindControlByName(L"dot_list"));
  if (scrollDots_) {
    scrollDots_->AddEventHandler(
        ui::kEventSelect, MakeWeakCallback([this](ui::EventArgs* args) { return OnScrollDotEvent(args); }));
  }
  leftArrow_ = dynamic_cast<ui::ButtonTemplate<ui::Control>*>(FindControlByName(L"btn_scroll_left"));
  rightArrow_ = dynamic_cast<ui::ButtonTemplate<ui::Control>*>(FindControlByName(L"btn_scroll_right"));
  if (leftArrow_) {
    leftArrow_->AddEventHandler(ui::kEventClick, MakeWeakCallback([this](ui::EventArgs*) {
                                  if (!scrollDots_) return true;
                                  const int dot = scrollDots_->SelectedIndex();
                                  if (dot > 0) {
                                    SelectScrollPage(dot - 1, true);
                                    posterHold_ = kPosterHoldTicks;
                                  }
                                  return true;
                                }));
  }
  if (rightArrow_) {
    rightArrow_->AddEventHandler(ui::kEventClick, MakeWeakCallback([this](ui::EventArgs*) {
                                   if (!scrollDots_) return true;
                                   const int dot = scrollDots_->SelectedIndex();
                                   if (dot < static_cast<int>(scrollDots_->GetChildCount()) - 1) {
                                     SelectScrollPage(dot + 1, true);
                                     posterHold_ = kPosterHoldTicks;
                                   }
                                   return true;
                                 }));
  }
  currentPoster_ = -1;
  posterHold_ = -1;
  base::ThreadRegistry::PostRecurringTask(base::kThreadIdMisc,
                                          MakeWeakCallback([this] { TickScrollPages(); }),
                                          base::TimeDelta(kPosterTickMicroseconds), base::kRepeatForever);
  RefreshScrollPages();
}

void MainForm::TickScrollPages() {
  if (posterHold_.load() < 0) {
    base::ThreadRegistry::PostTask(base::kThreadIdUi, MakeWeakCallback([this] { AdvanceScrollPage(); }));
  } else {
    --posterHold_;
  }
}

void MainForm::AdvanceScrollPage() {
  if (!scrollPages_ || !scrollDots_) return;
  const int count = static_cast<int>(scrollPages_->GetChildCount());
  if (count <= 0) return;
  SelectScrollPage((currentPoster_ + 1) % count, true);
}

void MainForm::ClearScrollPages() {
  if (!scrollPages_ || !scrollDots_) return;
  scrollDots_->RemoveAllChildren();
  for (size_t i = 0; i < scrollPages_->GetChildCount(); ++i) {
    if (auto* page = dynamic_cast<MainComponents::ScrollPage*>(scrollPages_->GetChildAt(i))) page->Forget();
  }
  scrollPages_->RemoveAllChildren();
  currentPoster_ = -1;
  posterHold_ = -1;
}

void MainForm::RefreshScrollPages() {
  if (!scrollPages_ || !scrollDots_) return;
  ClearScrollPages();
  const std::vector<ScrollPageInfo>& posters = DoreveziCore::GetInstance().scrollPages;
  for (size_t i = 0; i < posters.size(); ++i) {
    auto* dot = new MainComponents::ScrollDot();
    ui::UiRuntime::PopulateBoxCached(dot, L"main/scroll_dot.xml", nullptr);
    scrollDots_->InsertElementAt(dot, static_cast<int>(i));
    dot->dotButton = FindChild(dot, L"btn_dot");
    auto* page = new MainComponents::ScrollPage();
    ui::UiRuntime::PopulateBoxCached(page, L"main/scroll_page.xml", nullptr);
    scrollPages_->InsertElementAt(page, static_cast<int>(i));
    page->Bind(posters[i].image, posters[i].link);
  }
  const bool any = scrollPages_->GetChildCount() > 0;
  if (leftArrow_) leftArrow_->SetFadeVisible(any);
  if (rightArrow_) rightArrow_->SetFadeVisible(any);
  if (any) SelectScrollPage(0, false);
}

void MainForm::SelectScrollPage(int index, bool animate) {
  if (!scrollPages_ || !scrollDots_) return;
  const int count = static_cast<int>(scrollDots_->GetChildCount());
  if (index < 0 || index >= count) return;
  scrollDots_->SelectItemAt(index, true, false);
  for (int i = 0; i < count; ++i) {
    auto* dot = dynamic_cast<MainComponents::ScrollDot*>(scrollDots_->GetChildAt(static_cast<size_t>(i)));
    if (!dot) continue;
    dot->ui::CheckBoxTemplate<ui::Box>::SetSelected(i == index, false);
    // The markup draws a disabled dot filled.
    if (dot->dotButton) dot->dotButton->SetEnabled(i != index);
  }
  // A glide still running would add its remaining way to this one: the target is measured from
  // where the strip stands now.
  scrollPages_->StopScrollAnimation();
  const int target = index * scrollPages_->GetHorizontalScrollUnit();
  const int current = scrollPages_->GetScrollOffset().cx;
  if (target > current) {
    scrollPages_->LineRight(target - current, animate);
  } else if (target < current) {
    scrollPages_->LineLeft(current - target, animate);
  }
  currentPoster_ = index;
  if (leftArrow_) leftArrow_->SetEnabled(count > 1 && index > 0);
  if (rightArrow_) rightArrow_->SetEnabled(count > 1 && index < count - 1);
}

bool MainForm::OnScrollDotEvent(ui::EventArgs* args) {
  if (!scrollPages_ || !scrollDots_) return false;
  ui::Control* element = nullptr;
  if (args->type == ui::kEventSelect && args->sender && args->sender->GetName() == L"dot_list") {
    const int selected = scrollDots_->SelectedIndex();
    element = selected >= 0 ? scrollDots_->GetChildAt(static_cast<size_t>(selected)) : nullptr;
  } else if (args->type == ui::kEventButtonDown && dynamic_cast<MainComponents::ScrollDot*>(args->sender)) {
    element = args->sender;
  } else {
    return false;
  }
  if (element) {
    SelectScrollPage(scrollDots_->GetChildIndex(element), true);
    posterHold_ = kPosterHoldTicks;
  }
  return false;
}

void MainForm::BuildTabs() {
  tabLabels_ = dynamic_cast<ui::ListBox*>(FindControlByName(L"tab_labels"));
  if (tabLabels_) {
    tabLabels_->AddEventHandler(
        ui::kEventSelect, MakeWeakCallback([this](ui::EventArgs* args) { return OnTabLabelEvent(args); }));
  }
  tabPages_ = dynamic_cast<ui::TabBox*>(FindControlByName(L"tab_pages"));
  RefreshTabs();
}

void MainForm::ClearTabs() {
  if (!tabLabels_ || !tabPages_) return;
  tabLabels_->RemoveAllChildren();
  for (size_t i = 0; i < tabPages_->GetChildCount(); ++i) {
    if (auto* page = dynamic_cast<ui::Box*>(tabPages_->GetChildAt(i))) page->RemoveAllChildren();
  }
  tabPages_->RemoveAllChildren();
}

void MainForm::RefreshTabs() {
  if (!tabLabels_ || !tabPages_) return;
  ClearTabs();
  const std::vector<NewsTabInfo>& tabs = DoreveziCore::GetInstance().newsTabs;
  for (size_t i = 0; i < tabs.size(); ++i) {
    auto* label = new MainComponents::TabLabel();
    ui::UiRuntime::PopulateBoxCached(label, L"main/tab_label.xml", nullptr);
    tabLabels_->InsertElementAt(label, static_cast<int>(i));
    label->Bind();
    if (label->nameLabel) label->nameLabel->SetTextUtf8(tabs[i].name);
    label->AddEventHandler(ui::kEventButtonDown,
                           MakeWeakCallback([this](ui::EventArgs* args) { return OnTabLabelEvent(args); }));
    auto* page = new MainComponents::TabPage();
    ui::UiRuntime::PopulateBoxCached(page, L"main/tab_page.xml", nullptr);
    tabPages_->InsertChildAt(page, i);
    for (const NewsEntry& entry : tabs[i].entries)
      page->AddNews(entry.title, entry.date, entry.tooltip, entry.link);
  }
  if (!tabs.empty()) SelectTab(0);
}

void MainForm::SelectTab(int index) {
  if (!tabLabels_ || !tabPages_) return;
  if (index < 0 || index >= static_cast<int>(tabPages_->GetChildCount())) return;
  for (size_t i = 0; i < tabLabels_->GetChildCount(); ++i) {
    auto* label = dynamic_cast<MainComponents::TabLabel*>(tabLabels_->GetChildAt(i));
    if (!label) continue;
    const bool chosen = static_cast<int>(i) == index;
    label->ui::CheckBoxTemplate<ui::Box>::SetSelected(chosen, false);
    if (label->nameLabel) label->nameLabel->SetEnabled(!chosen);
    if (label->lineControl) label->lineControl->SetFadeVisible(chosen);
  }
  tabPages_->SwitchTo(index);
}

bool MainForm::OnTabLabelEvent(ui::EventArgs* args) {
  if (!tabLabels_) return false;
  ui::Control* element = nullptr;
  if (args->type == ui::kEventSelect && args->sender && args->sender->GetName() == L"tab_labels") {
    const int selected = tabLabels_->SelectedIndex();
    element = selected >= 0 ? tabLabels_->GetChildAt(static_cast<size_t>(selected)) : nullptr;
  } else if (args->type == ui::kEventButtonDown && dynamic_cast<MainComponents::TabLabel*>(args->sender)) {
    element = args->sender;
  } else {
    return false;
  }
  if (element) SelectTab(tabLabels_->GetChildIndex(element));
  return false;
}

void MainForm::BuildWebView() {
  // The browser's load-end and pop-up callbacks are attached once the browser controls exist.
  webView_ = FindControlByName(L"webview");
  if (webView_) webView_->SetFadeVisible(false);
  LoadWebViewUrl();
}

void MainForm::LoadWebViewUrl() {
  if (!webView_) return;
  // A page address is loaded by the browser control once there is one.
  if (ActivityPageAddress().empty()) webView_->SetFadeVisible(false);
}

void MainForm::OnWebViewLoadEnd(int /*httpStatusCode*/) {
  if (webView_ && !webView_->IsVisible()) webView_->SetFadeVisible(true);
}

bool MainForm::OnWebLinkClicked(const std::wstring& url) {
  // A page's pop-up never opens inside the launcher. Only web addresses reach the shell: the page
  // is not ours to trust with files or programs.
  std::string text;
  ui::WideToUtf8(url.c_str(), text);
  if (!text.empty()) DoreveziCore::GetInstance().OpenLink(text, false);
  return false;
}

void MainForm::RefreshJumpLinks() {
  if (!jumpLinks_) return;
  jumpLinks_->RemoveAllChildren();
  const std::vector<JumpLink>& links = DoreveziCore::GetInstance().jumpLinks;
  for (size_t i = 0; i < links.size(); ++i) {
    const JumpLink& link = links[i];
    auto* button = new ui::ButtonTemplate<ui::Control>();
    button->SetDeclaredWidth(ui::kSizeAuto, true, false);
    button->SetDeclaredHeight(ui::kSizeAuto, false);
    button->ApplyAttribute(L"halign", L"center");
    button->ApplyAttribute(L"valign", L"center");
    button->SetBkImage(Wide(link.normalImage));
    button->GetAnimator().EnableHotFade(true);
    button->GetStateImages().SetImage(ui::kImageKindBackground, ui::kStateHot, Wide(link.hotImage));
    button->RequestLayout();
    button->SetDataIdUtf8(link.name);
    button->AddEventHandler(ui::kEventClick,
                            MakeWeakCallback([this](ui::EventArgs* args) { return OnJumpLinkClick(args); }));
    if (!link.tooltips.empty())
      button->SetToolTipText(ui::LanguageTable::Instance()->Lookup(Wide(link.tooltips)));
    jumpLinks_->InsertChildAt(button, i);
  }
}

bool MainForm::OnJumpLinkClick(ui::EventArgs* args) {
  if (!args->sender) return true;
  const std::string name = args->sender->GetDataIdUtf8();
  DoreveziCore::GetInstance().OpenLink(name, true);
  static const std::string kForumPrefix = "Forum_";
  const bool forum = name.compare(0, kForumPrefix.size(), kForumPrefix) == 0;
  ReportUiClick("community", forum ? name.substr(kForumPrefix.size()) : name);
  return true;
}
