#pragma once

// Labels that take input: a button (click, Space, Enter), a check box (a selected state that
// toggles, with its own colours, images and text colour) and an option (a check box in a named
// group of its window, where selecting one unselects the others). Each over Control
// ("Button", "CheckBox", "Option") and over Box ("ButtonBox", "CheckBoxBox", "OptionBox").

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "ui/controls/label.h"

namespace ui {

template <typename T>
class ButtonTemplate : public LabelTemplate<T> {
 public:
  ButtonTemplate() {
    this->textStyle_ = kLabelTextStyle | DT_CENTER | DT_VCENTER;
    this->textPadding_ = Rect{0, 0, 0, DpiScale::Instance().ScaleValue(5)};
    this->RefreshForText();
  }

  bool IsTabStop() const override { return this->IsKeyboardEnabled() && this->IsEnabled(); }

  void ProcessEvent(EventArgs* args) override {
    const EventType type = args->type;
    if (!this->IsMouseEnabled() && type >= kEventMouseMove && type <= kEventScrollWheel) {
      if (this->parent_) this->parent_->DispatchEvent(args);
      return;
    }
    if (type == kEventKeyDown && this->IsKeyboardEnabled() && (args->keyChar == L' ' || args->keyChar == L'\r')) {
      this->PerformAction();
      return;
    }
    if (type == kEventRawMenu) {
      // Never handed to the parent: a button without its own menu has none.
      if (this->IsMenuEnabled()) this->RaiseOwnEvent(kEventMenu, args->wParam, args->lParam);
      return;
    }
    T::ProcessEvent(args);
  }
};

// What an option's group walks over: any check box or option, whatever its base.
class Selectable {
 public:
  virtual ~Selectable() = default;
  virtual void SetSelected(bool selected, bool sendEvent) = 0;
  virtual bool IsSelected() const = 0;
};

template <typename T>
class CheckBoxTemplate : public ButtonTemplate<T>, public Selectable {
 public:
  bool IsSelected() const override { return selected_; }
  void SetSelected(bool selected, bool sendEvent) override {
    if (selected == selected_) return;
    selected_ = selected;
    if (this->window_ && sendEvent) {
      const std::weak_ptr<base::WeakFlag> alive = this->ObtainWeakFlag();
      this->RaiseOwnEvent(selected ? kEventSelect : kEventUnselect);
      // A select handler may have deleted the check box.
      if (alive.expired()) return;
    }
    this->Invalidate();
  }
  void SetSelectedStateColor(ControlState state, const std::wstring& colorName) {
    selectedColors_.SetColor(state, colorName);
    this->Invalidate();
  }
  std::wstring GetSelectedTextColor() const { return selectedTextColor_; }

  void PerformAction() override {
    if (this->AcceptsAction()) SetSelected(!selected_, true);
  }

  ControlImage* GetSizingImage() override {
    if (!this->bkImage_.spec.file.empty()) return &this->bkImage_;
    if (ControlImage* image = this->stateImages_.FindFirstImage(kImageKindBackground)) return image;
    return this->stateImages_.FindFirstImage(kImageKindSelectedBackground);
  }

  bool HasHotLook() override {
    return !selectedColors_.GetColor(kStateHot).empty() || !this->textColors_.GetColor(kStateHot).empty() ||
           Control::HasHotLook();
  }

  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override {
    static const wchar_t* const kStateNames[] = {L"normal", L"hot", L"pushed", L"disabled"};
    for (int state = kStateNormal; state <= kStateDisabled; ++state) {
      const std::wstring stateName = kStateNames[state];
      if (name == L"selected" + stateName + L"image" || name == L"selectedfore" + stateName + L"image") {
        const StateImageKind kind =
            name.compare(0, 12, L"selectedfore") == 0 ? kImageKindSelectedForeground : kImageKindSelectedBackground;
        this->stateImages_.SetImage(kind, static_cast<ControlState>(state), value);
        this->RefreshForText();
        return;
      }
      if (name == L"selected" + stateName + L"color") {
        SetSelectedStateColor(static_cast<ControlState>(state), value);
        return;
      }
    }
    if (name == L"selected") {
      SetSelected(value == L"true", true);
    } else if (name == L"selectedtextcolor") {
      selectedTextColor_ = value;
      this->Invalidate();
    } else {
      ButtonTemplate<T>::ApplyAttribute(name, value);
    }
  }

  void PaintStateColor(IRenderContext* context) override {
    if (selected_) {
      selectedColors_.Paint(context, this->paintRect_, this->state_);
    } else {
      Control::PaintStateColor(context);
    }
  }

  void PaintStateImages(IRenderContext* context) override {
    if (!selected_) {
      Control::PaintStateImages(context);
      return;
    }
    for (StateImageKind kind : {kImageKindSelectedBackground, kImageKindSelectedForeground}) {
      if (StateImageSet* set = this->stateImages_.FindSet(kind)) set->Paint(context, this->state_, std::wstring());
    }
  }

  void PaintText(IRenderContext* context) override {
    if (!selected_) {
      LabelTemplate<T>::PaintText(context);
      return;
    }
    const std::wstring text = this->GetText();
    if (text.empty()) return;
    std::wstring color;
    if (this->IsEnabled()) {
      color = selectedTextColor_.empty() ? this->textColors_.GetColor(kStateNormal) : selectedTextColor_;
    } else {
      color = this->textColors_.GetColor(kStateDisabled);
    }
    context->DrawTextInRect(this->TextRect(), text, UiRuntime::GetColor(color), this->fontId_, this->StyleForLayout(),
                            255, false);
  }

 protected:
  bool selected_ = false;
  std::wstring selectedTextColor_;
  StateColorSet selectedColors_{MakeColorSet(this)};

 private:
  static StateColorSet MakeColorSet(Control* owner) {
    StateColorSet set;
    set.Init(owner);
    return set;
  }
};

template <typename T>
class OptionTemplate : public CheckBoxTemplate<T> {
 public:
  ~OptionTemplate() override {
    if (!groupName_.empty() && this->window_) this->window_->RemoveOptionFromGroup(groupName_, this);
  }

  virtual std::wstring GetGroupName() const { return groupName_; }

  virtual void SetGroupName(const std::wstring& name) {
    if (!name.empty()) {
      if (name == groupName_) return;
      if (this->window_ && !groupName_.empty()) this->window_->RemoveOptionFromGroup(groupName_, this);
      groupName_ = name;
    } else {
      if (groupName_.empty()) return;
      if (this->window_) this->window_->RemoveOptionFromGroup(groupName_, this);
      groupName_.clear();
    }
    if (!groupName_.empty() && this->window_) this->window_->AddOptionToGroup(groupName_, this);
    SetSelected(this->selected_, true);
  }

  void AttachTo(Window* window, Box* parent, bool initialize) override {
    CheckBoxTemplate<T>::AttachTo(window, parent, initialize);
    if (initialize && !groupName_.empty() && this->window_) this->window_->AddOptionToGroup(groupName_, this);
  }

  void SetSelected(bool selected, bool sendEvent) override {
    this->selected_ = selected;
    if (!this->window_) {
      this->Invalidate();
      return;
    }
    const std::weak_ptr<base::WeakFlag> alive = this->ObtainWeakFlag();
    if (selected) {
      if (!groupName_.empty()) {
        if (std::vector<Control*>* group = this->window_->GetOptionGroup(groupName_)) {
          // Handlers may add, move or delete members: walk a copy and pass over any member
          // that has left the group meanwhile.
          const std::vector<Control*> members = *group;
          const std::wstring groupName = groupName_;
          Window* window = this->window_;
          for (Control* member : members) {
            if (member == this) continue;
            std::vector<Control*>* current = window->GetOptionGroup(groupName);
            if (!current || std::find(current->begin(), current->end(), member) == current->end()) continue;
            if (auto* option = dynamic_cast<Selectable*>(member)) option->SetSelected(false, sendEvent);
            if (alive.expired()) return;
          }
        }
      }
      if (sendEvent) this->RaiseOwnEvent(kEventSelect);
    } else if (sendEvent) {
      this->RaiseOwnEvent(kEventUnselect);
    }
    if (alive.expired()) return;
    this->Invalidate();
  }

  void PerformAction() override {
    if (!this->AcceptsAction() || !this->window_) return;
    const std::weak_ptr<base::WeakFlag> alive = this->ObtainWeakFlag();
    this->RaiseOwnEvent(kEventClick);
    if (alive.expired()) return;
    if (this->AcceptsAction()) SetSelected(true, true);
  }

  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override {
    if (name == L"group") {
      SetGroupName(value);
    } else {
      CheckBoxTemplate<T>::ApplyAttribute(name, value);
    }
  }

 protected:
  std::wstring groupName_;
};

using Button = ButtonTemplate<Control>;
using ButtonBox = ButtonTemplate<Box>;
using CheckBox = CheckBoxTemplate<Control>;
using CheckBoxBox = CheckBoxTemplate<Box>;
using Option = OptionTemplate<Control>;
using OptionBox = OptionTemplate<Box>;

}  // namespace ui
