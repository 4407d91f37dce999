#pragma once
// The name dictionary of a document: element names, attribute names and attribute values are
// stored once per document and referred to by index. Strings never move once added, so a
// reference from Get stays valid for the dictionary's lifetime. The first strings and the
// first index live inside the dictionary itself, so a small document allocates nothing here.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestova {

class TDictionary {
 public:
  TDictionary() noexcept { FInlineIndex.fill(-1); }
  TDictionary(const TDictionary&) = delete;
  TDictionary& operator=(const TDictionary&) = delete;

  // Index of an equal string already present, else the index of the newly appended string.
  int Add(std::string_view text);
  // Index of an equal string, or -1.
  int Find(std::string_view text) const noexcept;
  // The string at an index; an index outside the dictionary (such as -1) gives the empty string.
  const std::string& Get(int index) const noexcept;
  int Count() const noexcept { return FCount; }
  std::size_t IndexSize() const noexcept { return FGrownIndex.empty() ? FInlineIndex.size() : FGrownIndex.size(); }

 private:
  static constexpr std::size_t kInlineStrings = 8;
  static constexpr std::size_t kChunkStrings = 256;
  using TChunk = std::array<std::string, kChunkStrings>;

  std::string& Slot(int index) noexcept;
  const std::string& Slot(int index) const noexcept { return const_cast<TDictionary*>(this)->Slot(index); }
  int32_t* Index() noexcept { return FGrownIndex.empty() ? FInlineIndex.data() : FGrownIndex.data(); }
  const int32_t* Index() const noexcept { return FGrownIndex.empty() ? FInlineIndex.data() : FGrownIndex.data(); }
  std::size_t Probe(std::string_view text) const noexcept;
  void Rebuild(std::size_t size);

  // FTextList: the strings in order of addition, the first ones inline, the rest in chunks.
  std::array<std::string, kInlineStrings> FInlineStrings;
  std::vector<std::unique_ptr<TChunk>> FChunks;
  int FCount = 0;
  // FHashTable: open addressing over the strings' indices, -1 = free slot.
  std::array<int32_t, 97> FInlineIndex;
  std::vector<int32_t> FGrownIndex;
};

}  // namespace kestova
