#include "ui/controls/text_services_timers.h"

#include "ui/animation/timer_manager.h"

namespace ui {

void TextServicesTimers::Start(UINT id, UINT milliseconds) {
  std::unique_ptr<base::WeakCallbackFlag>& flag = flags_[id];
  if (flag) {
    flag->Invalidate();
  } else {
    flag = std::make_unique<base::WeakCallbackFlag>();
  }
  std::function<void(UINT)>* deliver = &deliver_;
  TimerManager::Instance()->AddTimer(flag->ObtainWeakFlag(), [deliver, id] { (*deliver)(id); }, milliseconds, -1);
}

void TextServicesTimers::Stop(UINT id) {
  auto found = flags_.find(id);
  if (found == flags_.end()) return;
  found->second->Invalidate();
  flags_.erase(found);
}

}  // namespace ui
