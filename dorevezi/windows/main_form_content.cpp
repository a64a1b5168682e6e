// The main window's content: titles, poster strip, news tabs, web-page area and link bar.
#include "dorevezi/windows/main_form.h"

void MainForm::BindTitles() {}
void MainForm::RefreshTitles() {}
void MainForm::BuildScrollPages() {}
void MainForm::TickScrollPages() {}
void MainForm::AdvanceScrollPage() {}
void MainForm::ClearScrollPages() {}
void MainForm::RefreshScrollPages() {}
void MainForm::SelectScrollPage(int /*index*/, bool /*animate*/) {}
bool MainForm::OnScrollDotEvent(ui::EventArgs* /*args*/) { return false; }
void MainForm::BuildTabs() {}
void MainForm::ClearTabs() {}
void MainForm::RefreshTabs() {}
void MainForm::SelectTab(int /*index*/) {}
bool MainForm::OnTabLabelEvent(ui::EventArgs* /*args*/) { return false; }
void MainForm::BuildWebView() {}
void MainForm::LoadWebViewUrl() {}
void MainForm::OnWebViewLoadEnd(int /*httpStatusCode*/) {}
bool MainForm::OnWebLinkClicked(const std::wstring& /*url*/) { return false; }
void MainForm::RefreshJumpLinks() {}
bool MainForm::OnJumpLinkClick(ui::EventArgs* /*args*/) { return true; }
