#pragma once
// A list shared between threads, reached only through a locked view. GetLock takes the list's
// lock (reentrant for the thread holding it) and returns the view; the view releases the lock
// when it goes out of scope (ReleaseLock releases it earlier). Insertion order is kept and
// duplicates are allowed.
//
// Thread safety: GetLock from any thread; a view belongs to the thread that took it.
#include <concepts>
#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>

#include "platform/exception.h"
#include "platform/format.h"

namespace kestova {

template <typename T>
class TMqttThreadList {
 public:
  class TLockList {
   public:
    TLockList(TLockList&& AOther) noexcept
        : FList(std::exchange(AOther.FList, nullptr)), FLock(std::move(AOther.FLock)) {}
    TLockList& operator=(TLockList&&) = delete;
    TLockList(const TLockList&) = delete;
    TLockList& operator=(const TLockList&) = delete;

    int Add(T AItem) {
      Items().push_back(std::move(AItem));
      return static_cast<int>(Items().size()) - 1;
    }
    // Index the first equal item had, -1 when there was none.
    int Remove(const T& AItem) requires std::equality_comparable<T> {
      for (std::size_t i = 0; i < Items().size(); ++i) {
        if (Items()[i] == AItem) {
          Items().erase(Items().begin() + static_cast<std::ptrdiff_t>(i));
          return static_cast<int>(i);
        }
      }
      return -1;
    }
    // EListError "List index out of bounds (%d)" outside 0..Count-1.
    void Delete(int AIndex) { Items().erase(Items().begin() + Checked(AIndex)); }
    // Removes the item at AIndex and gives it to the caller.
    T Extract(int AIndex) {
      const auto at = Items().begin() + Checked(AIndex);
      T item = std::move(*at);
      Items().erase(at);
      return item;
    }
    void Clear() { Items().clear(); }
    T& operator[](int AIndex) { return Items()[static_cast<std::size_t>(Checked(AIndex))]; }
    int Count() const noexcept { return FList ? static_cast<int>(FList->FItems.size()) : 0; }
    // Index of the first item for which APredicate holds, -1 when none does.
    template <typename Predicate>
    int IndexOf(Predicate APredicate) const {
      if (!FList) return -1;
      for (std::size_t i = 0; i < FList->FItems.size(); ++i) {
        if (APredicate(FList->FItems[i])) return static_cast<int>(i);
      }
      return -1;
    }

    // Releases the lock now; the view is unusable afterwards.
    void ReleaseLock() noexcept {
      if (FLock.owns_lock()) FLock.unlock();
      FList = nullptr;
    }

   private:
    friend class TMqttThreadList;
    explicit TLockList(TMqttThreadList& AList) : FList(&AList), FLock(AList.FMutex) {}
    std::deque<T>& Items() {
      if (!FList) throw EListError("List is not locked");
      return FList->FItems;
    }
    std::ptrdiff_t Checked(int AIndex) {
      if (AIndex < 0 || AIndex >= static_cast<int>(Items().size())) {
        throw EListError(Format("List index out of bounds (%d)", AIndex));
      }
      return AIndex;
    }

    TMqttThreadList* FList;
    std::unique_lock<std::recursive_mutex> FLock;
  };

  TMqttThreadList() = default;
  TMqttThreadList(const TMqttThreadList&) = delete;
  TMqttThreadList& operator=(const TMqttThreadList&) = delete;

  TLockList GetLock() { return TLockList(*this); }

 private:
  std::recursive_mutex FMutex;
  std::deque<T> FItems;
};

}  // namespace kestova
