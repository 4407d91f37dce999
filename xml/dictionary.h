#pragma once
// The name dictionary of a document: element names, attribute names and attribute values are
// stored once per document and referred to by index. Strings never move once added, so a
// reference from Get stays valid for the dictionary's lifetime.
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace kestova {

class TDictionary {
 public:
  TDictionary();

  // Index of an equal string already present, else the index of the newly appended string.
  int Add(std::string_view text);
  // Index of an equal string, or -1.
  int Find(std::string_view text) const noexcept;
  // The string at an index; an index outside the dictionary (such as -1) gives the empty string.
  const std::string& Get(int index) const noexcept;
  int Count() const noexcept { return static_cast<int>(FTextList.size()); }
  std::size_t IndexSize() const noexcept { return FHashTable.size(); }

 private:
  void Rebuild(std::size_t size);
  std::size_t Slot(std::string_view text) const noexcept;

  std::deque<std::string> FTextList;
  std::vector<int32_t> FHashTable;  // open addressing, -1 = free slot
};

}  // namespace kestova
