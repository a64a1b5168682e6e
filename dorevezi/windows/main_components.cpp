#include "dorevezi/windows/main_components.h"

#include "dorevezi/core/dorevezi_core.h"
#include "ui/core/string_util.h"
#include "ui/resources/ui_runtime.h"

namespace MainComponents {

namespace {

ui::Control* FindChild(ui::Control* root, const wchar_t* name) {
  return root->LocateControl(ui::MatchControlName, const_cast<wchar_t*>(name), 0);
}

template <typename T>
T* FindChildAs(ui::Control* root, const wchar_t* name) {
  return dynamic_cast<T*>(FindChild(root, name));
}

// The hot or normal look of a label, drawn at once.
void SetLook(ui::Control* control, int32_t hoverBlend, ui::ControlState state) {
  control->SetHoverBlend(hoverBlend);
  control->SetState(state);
  control->Invalidate();
}

}  // namespace

void ScrollPage::Bind(const std::string& image, const std::string& linkName) {
  imageControl = FindChild(this, L"bk_image");
  if (imageControl) {
    imageControl->AddEventHandler(ui::kEventButtonDown, MakeWeakCallback([this](ui::EventArgs* args) {
                                    return OnImageButtonDown(args);
                                  }));
    std::wstring descriptor;
    ui::MultiByteToWide(image, descriptor, CP_UTF8);
    imageControl->SetBkImage(descriptor);
  }
  link = linkName;
}

bool ScrollPage::OnImageButtonDown(ui::EventArgs* args) {
  if (imageControl && args->sender == imageControl) DoreveziCore::GetInstance().OpenLink(link, true);
  return false;
}

void ScrollPage::Forget() {
  imageControl = nullptr;
  link.clear();
}

void TabLabel::Bind() {
  nameLabel = FindChildAs<ui::LabelTemplate<ui::Control>>(this, L"tab_name");
  lineControl = FindChild(this, L"tab_line");
  AddEventHandler(ui::kEventMouseEnter,
                  MakeWeakCallback([this](ui::EventArgs* args) { return OnHover(args); }));
  AddEventHandler(ui::kEventMouseLeave,
                  MakeWeakCallback([this](ui::EventArgs* args) { return OnLeave(args); }));
}

bool TabLabel::OnHover(ui::EventArgs* /*args*/) {
  if (nameLabel) SetLook(nameLabel, 255, ui::kStateHot);
  return false;
}

bool TabLabel::OnLeave(ui::EventArgs* /*args*/) {
  // The chosen tab keeps its name's hot colours.
  if (IsSelected()) return false;
  if (nameLabel) SetLook(nameLabel, 0, ui::kStateNormal);
  return false;
}

TabPage::TabPage() : ui::ListBox(new ui::VLayout()) {}

void TabPage::AddNews(std::string title, std::string date, std::string tooltip, std::string linkName) {
  auto* item = new NewsItem();
  ui::UiRuntime::PopulateBoxCached(item, L"main/news_item.xml", nullptr);
  InsertElementAt(item, static_cast<int>(GetChildCount()));
  item->Bind();
  if (item->contentLabel) {
    item->contentLabel->SetTextUtf8(title);
    item->contentLabel->SetToolTipTextUtf8(tooltip);
  }
  if (item->dateLabel) item->dateLabel->SetTextUtf8(date);
  item->link = std::move(linkName);
  // The newest four stay.
  while (GetChildCount() > 4) RemoveElementAt(0);
}

void TabPage::NewsItem::Bind() {
  contentLabel = FindChildAs<ui::LabelTemplate<ui::Control>>(this, L"news_content");
  dateLabel = FindChildAs<ui::LabelTemplate<ui::Control>>(this, L"news_date");
  if (contentLabel) {
    contentLabel->AddEventHandler(ui::kEventButtonDown, MakeWeakCallback([this](ui::EventArgs* args) {
                                    return OnContentButtonDown(args);
                                  }));
  }
}

bool TabPage::NewsItem::OnContentButtonDown(ui::EventArgs* args) {
  if (!contentLabel || args->sender != contentLabel) return true;
  DoreveziCore::GetInstance().OpenLink(link, true);
  return false;
}

}  // namespace MainComponents
