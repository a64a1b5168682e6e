#pragma once

// The main window's list items: poster dots and pages, news tab labels, news pages and their
// entries, and the placeholder that stands where no browser runtime is present. Links are link
// names, opened through the core's link table. UI thread only.

#include <string>

#include "ui/controls/label.h"
#include "ui/controls/list_box.h"
#include "ui/core/control.h"

namespace MainComponents {

// A dot of the poster strip ("main/scroll_dot.xml": the control "btn_dot", disabled while its
// poster is shown).
class ScrollDot : public ui::ListContainerElement {
 public:
  ui::Control* dotButton = nullptr;
};

// A poster ("main/scroll_page.xml": the image control "bk_image"); a button-down on the image
// opens the link.
class ScrollPage : public ui::ListContainerElement {
 public:
  void Bind(const std::string& image, const std::string& link);
  bool OnImageButtonDown(ui::EventArgs* args);
  // Teardown: forgets the image control and empties the link.
  void Forget();

  ui::Control* imageControl = nullptr;
  std::string link;
};

// A news tab's label ("main/tab_label.xml": "tab_name" and its underline "tab_line"); the
// selected label keeps its name's hot look.
class TabLabel : public ui::ListContainerElement {
 public:
  void Bind();
  bool OnHover(ui::EventArgs* args);
  bool OnLeave(ui::EventArgs* args);

  ui::LabelTemplate<ui::Control>* nameLabel = nullptr;
  ui::Control* lineControl = nullptr;
};

// A news tab's page ("main/tab_page.xml"): the four most recently added entries.
class TabPage : public ui::ListBox {
 public:
  // An entry of "main/news_item.xml": the title "news_content" opens the link on button-down;
  // the date "news_date" does not react.
  class NewsItem : public ui::ListContainerElement {
   public:
    void Bind();
    bool OnContentButtonDown(ui::EventArgs* args);

    ui::LabelTemplate<ui::Control>* contentLabel = nullptr;
    ui::LabelTemplate<ui::Control>* dateLabel = nullptr;
    std::string link;
  };

  TabPage();
  void AddNews(std::string title, std::string date, std::string tooltip, std::string link);
};

// Stands for "CefControl" in the markup when the browser runtime is not initialised.
class CefDummyControl : public ui::Control {};

}  // namespace MainComponents
