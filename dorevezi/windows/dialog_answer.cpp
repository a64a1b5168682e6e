#include "dorevezi/windows/dialog_answer.h"

#include "base/thread_registry.h"

void DialogAnswer::Post(int value) {
  Callback callback = std::exchange(callback_, nullptr);
  if (!callback) return;
  base::ThreadRegistry::PostTask(base::kThreadIdUi,
                                 [callback = std::move(callback), value] { callback(value); });
}
