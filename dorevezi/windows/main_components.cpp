#include "dorevezi/windows/main_components.h"

namespace MainComponents {

void ScrollPage::Bind(const std::string& /*image*/, const std::string& linkName) { link = linkName; }
bool ScrollPage::OnImageButtonDown(ui::EventArgs* /*args*/) { return false; }
void ScrollPage::Forget() {
  imageControl = nullptr;
  link.clear();
}

void TabLabel::Bind() {}
bool TabLabel::OnHover(ui::EventArgs* /*args*/) { return false; }
bool TabLabel::OnLeave(ui::EventArgs* /*args*/) { return false; }

TabPage::TabPage() : ui::ListBox(new ui::VLayout()) {}
void TabPage::AddNews(std::string, std::string, std::string, std::string) {}

void TabPage::NewsItem::Bind() {}
bool TabPage::NewsItem::OnContentButtonDown(ui::EventArgs* /*args*/) { return true; }

}  // namespace MainComponents
