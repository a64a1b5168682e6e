#pragma once

// Callables bound to the lifetime of the object they work on. An object derives from
// SupportWeakCallback and hands out WeakCallback wrappers; once the object is destroyed
// (or a WeakCallbackFlag member is invalidated) every wrapper made from it does nothing.

#include <memory>
#include <type_traits>
#include <utility>

namespace base {

// Never instantiated: only the reference counts of a shared reference to it matter.
struct WeakFlag {};

template <typename F>
class WeakCallback;

class SupportWeakCallback {
 public:
  SupportWeakCallback() = default;
  // A copy is a different object with its own (not yet made) flag.
  SupportWeakCallback(const SupportWeakCallback&) {}
  SupportWeakCallback& operator=(const SupportWeakCallback&) { return *this; }
  // Releasing the flag expires every weak callback of this object at once.
  virtual ~SupportWeakCallback() = default;

  // Returns a weak reference to this object's flag, making a fresh flag when there is none
  // (or when the one held has been released).
  std::weak_ptr<WeakFlag> ObtainWeakFlag() {
    // The block owns no object (its stored pointer is null), so emptiness is a use count
    // of 0, never a test of the pointer.
    if (weak_flag_.use_count() == 0) {
      weak_flag_ = std::shared_ptr<WeakFlag>(static_cast<WeakFlag*>(nullptr), [](WeakFlag*) {});
    }
    return weak_flag_;
  }

  template <typename F>
  WeakCallback<std::decay_t<F>> MakeWeakCallback(F&& callable) {
    return WeakCallback<std::decay_t<F>>(ObtainWeakFlag(), std::forward<F>(callable));
  }

 protected:
  std::shared_ptr<WeakFlag> weak_flag_;
};

// A member of an object that wants to cancel one group of its callbacks on its own
// (a timer, an animation) while the object itself lives on.
class WeakCallbackFlag : public SupportWeakCallback {
 public:
  // Expires every callback made from this flag so far; later ones run again.
  void Invalidate() { weak_flag_.reset(); }
};

template <typename F>
class WeakCallback {
 public:
  WeakCallback(std::weak_ptr<WeakFlag> flag, const F& callable)
      : weak_flag_(std::move(flag)), callable_(callable) {}
  WeakCallback(std::weak_ptr<WeakFlag> flag, F&& callable)
      : weak_flag_(std::move(flag)), callable_(std::move(callable)) {}

  // Converts between callable types (a lambda's callback into one over std::function).
  template <typename G, typename = std::enable_if_t<!std::is_same<G, F>::value &&
                                                    std::is_constructible<F, const G&>::value>>
  WeakCallback(const WeakCallback<G>& other) : weak_flag_(other.weak_flag_), callable_(other.callable_) {}

  WeakCallback(const WeakCallback&) = default;
  WeakCallback(WeakCallback&&) = default;
  WeakCallback& operator=(const WeakCallback&) = default;
  WeakCallback& operator=(WeakCallback&&) = default;

  // Runs the callable while its owner lives; otherwise returns a value-initialised result.
  // The test is not atomic with the owner's destruction: call only on the owner's thread.
  template <typename... Args>
  auto operator()(Args&&... args) const -> decltype(std::declval<F&>()(std::forward<Args>(args)...)) {
    using Result = decltype(std::declval<F&>()(std::forward<Args>(args)...));
    if (!Expired()) return callable_(std::forward<Args>(args)...);
    return Result();
  }

  bool Expired() const { return weak_flag_.expired(); }

 private:
  template <typename G>
  friend class WeakCallback;

  std::weak_ptr<WeakFlag> weak_flag_;
  mutable F callable_;
};

}  // namespace base
