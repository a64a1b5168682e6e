#pragma once

// Reference counting of the runtime's objects and the string type of its interface.

#include <atomic>
#include <string>
#include <utility>

// Every interface object is reference counted; it deletes itself when the count drops to 0.
class CefBase {
 public:
  virtual void AddRef() const = 0;
  virtual bool Release() const = 0;
  virtual bool HasOneRef() const = 0;

 protected:
  virtual ~CefBase() = default;
};

// An atomic count for the classes below; IMPLEMENT_REFCOUNTING binds it to a class.
class CefRefCount {
 public:
  void AddRef() const { count_.fetch_add(1, std::memory_order_relaxed); }
  bool Release() const { return count_.fetch_sub(1, std::memory_order_acq_rel) == 1; }
  bool HasOneRef() const { return count_.load(std::memory_order_acquire) == 1; }

 private:
  mutable std::atomic<int> count_{0};
};

#define IMPLEMENT_REFCOUNTING(ClassName)                  \
 public:                                                  \
  void AddRef() const override { ref_count_.AddRef(); }   \
  bool Release() const override {                         \
    if (ref_count_.Release()) {                           \
      delete static_cast<const ClassName*>(this);         \
      return true;                                        \
    }                                                     \
    return false;                                         \
  }                                                       \
  bool HasOneRef() const override { return ref_count_.HasOneRef(); } \
                                                          \
 private:                                                 \
  CefRefCount ref_count_

template <class T>
class CefRefPtr {
 public:
  CefRefPtr() = default;
  CefRefPtr(T* p) : ptr_(p) {  // NOLINT: implicit, as the interface is used
    if (ptr_) ptr_->AddRef();
  }
  CefRefPtr(const CefRefPtr& other) : CefRefPtr(other.ptr_) {}
  template <class U>
  CefRefPtr(const CefRefPtr<U>& other) : CefRefPtr(other.get()) {}
  CefRefPtr(CefRefPtr&& other) noexcept : ptr_(other.ptr_) { other.ptr_ = nullptr; }
  ~CefRefPtr() {
    if (ptr_) ptr_->Release();
  }
  CefRefPtr& operator=(CefRefPtr other) {
    std::swap(ptr_, other.ptr_);
    return *this;
  }

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  bool operator==(const CefRefPtr& other) const { return ptr_ == other.ptr_; }
  bool operator!=(const CefRefPtr& other) const { return ptr_ != other.ptr_; }
  bool operator==(std::nullptr_t) const { return ptr_ == nullptr; }
  bool operator!=(std::nullptr_t) const { return ptr_ != nullptr; }

 private:
  T* ptr_ = nullptr;
};

// UTF-16 text.
class CefString {
 public:
  CefString() = default;
  CefString(const std::wstring& text) : text_(text) {}  // NOLINT
  CefString(const wchar_t* text) : text_(text ? text : L"") {}  // NOLINT
  CefString(const std::string& text) : text_(text.begin(), text.end()) {}  // ASCII; NOLINT
  CefString(const char* text) : CefString(std::string(text ? text : "")) {}  // NOLINT

  const std::wstring& ToWString() const { return text_; }
  const wchar_t* c_str() const { return text_.c_str(); }
  size_t length() const { return text_.size(); }
  bool empty() const { return text_.empty(); }
  bool operator==(const CefString& other) const { return text_ == other.text_; }
  bool operator!=(const CefString& other) const { return text_ != other.text_; }

 private:
  std::wstring text_;
};
