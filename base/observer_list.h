#pragma once

// A list of observer pointers that tolerates changes while it notifies: observers added
// during a notification are notified too, removed ones are only nulled and compacted away
// once the outermost notification ends.

#include <algorithm>
#include <cstdint>
#include <vector>

namespace base {

class LazyEraser {
 public:
  virtual ~LazyEraser() = default;
  virtual void Compact() = 0;

 protected:
  int32_t notify_depth_ = 0;
};

template <typename Observer>
class ObserverList : public LazyEraser {
 public:
  void AddObserver(Observer* observer) {
    if (observer) observers_.push_back(observer);
  }

  void RemoveObserver(Observer* observer) {
    auto it = std::find(observers_.begin(), observers_.end(), observer);
    if (it == observers_.end()) return;
    if (notify_depth_ > 0) {
      *it = nullptr;
    } else {
      observers_.erase(it);
    }
  }

  template <typename Fn>
  void Notify(Fn&& notify) {
    ++notify_depth_;
    // The bounds are read again each step: observers added meanwhile are notified as well.
    for (size_t i = 0; i < observers_.size(); ++i) {
      if (observers_[i]) notify(observers_[i]);
    }
    if (--notify_depth_ < 1) Compact();
  }

  void Compact() override {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), nullptr), observers_.end());
  }

  bool empty() const {
    return std::none_of(observers_.begin(), observers_.end(), [](Observer* o) { return o != nullptr; });
  }

 private:
  std::vector<Observer*> observers_;
};

}  // namespace base
