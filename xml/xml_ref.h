#pragma once
// The reference-counted handle of XML nodes (the I-names of xml_dom.h). The count lives in the
// node and is a plain integer: a document and its nodes are used by one thread at a time, and
// that includes copying and dropping handles. This keeps a parse free of atomic operations,
// which with shared pointers cost about as much as the rest of building a node.
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace kestova {

// Base of every counted object: holds the count, deletes itself through its virtual destructor.
class TXMLRefCounted {
 public:
  TXMLRefCounted() = default;
  TXMLRefCounted(const TXMLRefCounted&) = delete;
  TXMLRefCounted& operator=(const TXMLRefCounted&) = delete;

  void AddRef() const noexcept { ++FRefCount; }
  void Release() const noexcept {
    if (--FRefCount == 0) const_cast<TXMLRefCounted*>(this)->Destroy();
  }
  uint32_t RefCount() const noexcept { return FRefCount; }

 protected:
  virtual ~TXMLRefCounted() = default;
  // Ends the object when its last reference goes; objects from a pool give their memory back.
  virtual void Destroy() noexcept { delete this; }

 private:
  mutable uint32_t FRefCount = 0;
};

template <typename T>
class TXMLRef {
 public:
  TXMLRef() noexcept = default;
  TXMLRef(std::nullptr_t) noexcept {}
  // Takes a reference to `object` (which may already have others).
  explicit TXMLRef(T* object) noexcept : FObject(object) {
    if (FObject) FObject->AddRef();
  }
  TXMLRef(const TXMLRef& other) noexcept : TXMLRef(other.FObject) {}
  TXMLRef(TXMLRef&& other) noexcept : FObject(std::exchange(other.FObject, nullptr)) {}
  template <typename U>
  requires std::is_convertible_v<U*, T*> TXMLRef(const TXMLRef<U>& other)
  noexcept : TXMLRef(other.get()) {}
  template <typename U>
  requires std::is_convertible_v<U*, T*> TXMLRef(TXMLRef<U>&& other)
  noexcept : FObject(other.Detach()) {}
  ~TXMLRef() {
    if (FObject) FObject->Release();
  }

  TXMLRef& operator=(TXMLRef other) noexcept {
    std::swap(FObject, other.FObject);
    return *this;
  }

  T* get() const noexcept { return FObject; }
  T& operator*() const noexcept { return *FObject; }
  T* operator->() const noexcept { return FObject; }
  explicit operator bool() const noexcept { return FObject != nullptr; }
  void reset() noexcept { TXMLRef().swap(*this); }
  void swap(TXMLRef& other) noexcept { std::swap(FObject, other.FObject); }
  long use_count() const noexcept { return FObject ? static_cast<long>(FObject->RefCount()) : 0; }

  // Hands the reference over to the caller.
  T* Detach() noexcept { return std::exchange(FObject, nullptr); }

 private:
  T* FObject = nullptr;
};

template <typename T, typename U>
bool operator==(const TXMLRef<T>& a, const TXMLRef<U>& b) noexcept {
  return a.get() == b.get();
}
template <typename T>
bool operator==(const TXMLRef<T>& a, std::nullptr_t) noexcept {
  return a.get() == nullptr;
}

template <typename T, typename... Args>
TXMLRef<T> MakeXMLRef(Args&&... args) {
  return TXMLRef<T>(new T(std::forward<Args>(args)...));
}

// The counterpart of std::static_pointer_cast, found by argument-dependent lookup.
template <typename T, typename U>
TXMLRef<T> static_pointer_cast(const TXMLRef<U>& ref) noexcept {
  return TXMLRef<T>(static_cast<T*>(ref.get()));
}

}  // namespace kestova
