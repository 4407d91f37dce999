#include "rfid/key_card.h"

namespace kestova {

TKey* TKeyCard::GetKey(int32_t ReaderId) const {
  for (TKey* key : FAccessList)
    if (key != nullptr && key->ReaderId() == ReaderId) return key;
  return nullptr;
}

TStringList& TKeyCard::Readers() {
  FReaders.Clear();
  FReaders.SetDelimiter('/');
  for (const TKey* key : FAccessList)
    if (key != nullptr) FReaders.Add(std::to_string(key->ReaderId()));
  return FReaders;
}

}  // namespace kestova
