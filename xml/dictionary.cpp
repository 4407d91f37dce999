#include "xml/dictionary.h"

namespace kestova {
namespace {

// Index sizes: 97 serves up to 64 strings, each further size twice as many.
constexpr std::array<std::size_t, 25> kPrimes = {
    97,       193,      389,       769,       1543,      3079,      6151,      12289,   24593,
    49157,    98317,    196613,    393241,    786433,    1572869,   3145739,   6291469, 12582917,
    25165843, 50331653, 100663319, 201326611, 402653189, 805306457, 1610612741};

std::size_t IndexSizeFor(std::size_t count) noexcept {
  std::size_t k = 0;
  while (k + 1 < kPrimes.size() && (std::size_t{64} << k) <= count) ++k;
  return kPrimes[k];
}

// FNV-1a: cheap and well spread for the short names of messages.
uint32_t Hash(std::string_view text) noexcept {
  uint32_t h = 2166136261u;
  for (char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 16777619u;
  }
  return h;
}

const std::string kEmpty;

}  // namespace

std::string& TDictionary::Slot(int index) noexcept {
  const auto i = static_cast<std::size_t>(index);
  if (i < kInlineStrings) return FInlineStrings[i];
  const std::size_t rest = i - kInlineStrings;
  return (*FChunks[rest / kChunkStrings])[rest % kChunkStrings];
}

std::size_t TDictionary::Probe(std::string_view text) const noexcept {
  const std::size_t size = IndexSize();
  const int32_t* index = Index();
  // Multiply and shift maps the hash onto the index without a division.
  std::size_t slot = static_cast<std::size_t>((static_cast<uint64_t>(Hash(text)) * size) >> 32);
  while (index[slot] >= 0 && Slot(index[slot]) != text) slot = (slot + 1 == size) ? 0 : slot + 1;
  return slot;
}

int TDictionary::Find(std::string_view text) const noexcept { return Index()[Probe(text)]; }

int TDictionary::Add(std::string_view text) {
  const std::size_t slot = Probe(text);
  if (Index()[slot] >= 0) return Index()[slot];
  const int added = FCount;
  if (static_cast<std::size_t>(added) >= kInlineStrings &&
      (static_cast<std::size_t>(added) - kInlineStrings) % kChunkStrings == 0)
    FChunks.push_back(std::make_unique<TChunk>());
  Slot(added).assign(text);
  ++FCount;
  Index()[slot] = added;
  // Keep the index at most two thirds full so probing stays short and always ends.
  if (static_cast<std::size_t>(FCount) >= IndexSize() * 2 / 3) Rebuild(IndexSizeFor(static_cast<std::size_t>(FCount)));
  return added;
}

const std::string& TDictionary::Get(int index) const noexcept {
  if (index < 0 || index >= FCount) return kEmpty;
  return Slot(index);
}

void TDictionary::Rebuild(std::size_t size) {
  if (size <= IndexSize()) return;
  std::vector<int32_t> grown(size, -1);
  grown.swap(FGrownIndex);
  for (int i = 0; i < FCount; ++i) Index()[Probe(Slot(i))] = i;
}

}  // namespace kestova
