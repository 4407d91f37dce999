#include "xml/dictionary.h"

#include <array>

namespace kestova {
namespace {

// Index sizes: 97 serves up to 64 strings, each further size twice as many.
constexpr std::array<std::size_t, 25> kPrimes = {
    97,       193,      389,       769,       1543,      3079,      6151,       12289,     24593,
    49157,    98317,    196613,    393241,    786433,    1572869,   3145739,    6291469,   12582917,
    25165843, 50331653, 100663319, 201326611, 402653189, 805306457, 1610612741};

std::size_t IndexSizeFor(std::size_t count) noexcept {
  std::size_t k = 0;
  while (k + 1 < kPrimes.size() && (std::size_t{64} << k) <= count) ++k;
  return kPrimes[k];
}

// FNV-1a: cheap and well spread for the short names of messages.
std::size_t Hash(std::string_view text) noexcept {
  uint32_t h = 2166136261u;
  for (char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 16777619u;
  }
  return h;
}

const std::string kEmpty;

}  // namespace

TDictionary::TDictionary() : FHashTable(kPrimes[0], -1) {}

std::size_t TDictionary::Slot(std::string_view text) const noexcept {
  const std::size_t size = FHashTable.size();
  std::size_t slot = Hash(text) % size;
  while (FHashTable[slot] >= 0 && FTextList[static_cast<std::size_t>(FHashTable[slot])] != text)
    slot = (slot + 1 == size) ? 0 : slot + 1;
  return slot;
}

int TDictionary::Find(std::string_view text) const noexcept {
  return FHashTable[Slot(text)];
}

int TDictionary::Add(std::string_view text) {
  const std::size_t slot = Slot(text);
  if (FHashTable[slot] >= 0) return FHashTable[slot];
  const int index = static_cast<int>(FTextList.size());
  FTextList.emplace_back(text);
  FHashTable[slot] = index;
  // Keep the index at most two thirds full so probing stays short and always ends.
  if (FTextList.size() >= FHashTable.size() * 2 / 3) Rebuild(IndexSizeFor(FTextList.size()));
  return index;
}

const std::string& TDictionary::Get(int index) const noexcept {
  if (index < 0 || static_cast<std::size_t>(index) >= FTextList.size()) return kEmpty;
  return FTextList[static_cast<std::size_t>(index)];
}

void TDictionary::Rebuild(std::size_t size) {
  if (size <= FHashTable.size()) return;
  FHashTable.assign(size, -1);
  for (std::size_t i = 0; i < FTextList.size(); ++i) FHashTable[Slot(FTextList[i])] = static_cast<int32_t>(i);
}

}  // namespace kestova
