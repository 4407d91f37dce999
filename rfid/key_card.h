#pragma once
// Key cards for the RFID door readers: a card's key number and its access entries, one per
// reader the card opens, each with a validity period, roles and notes.
//
// Threads: plain data; one thread at a time.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/string_list.h"

namespace kestova {

// Kinds of readers, and the role of a key that opens rooms for cleaning.
inline constexpr const char* rdrEntrance = "ENTRANCE";
inline constexpr const char* rdrReception = "RECEPTION";
inline constexpr const char* rdrReceptionEntrance = "REC_ENTRANCE";
inline constexpr const char* keyCleaned = "CLEANED";

using TDateTime = std::chrono::system_clock::time_point;

// One access entry of a card.
class TKey {
 public:
  TDateTime ValidFrom() const noexcept { return FValidFrom; }
  void SetValidFrom(TDateTime value) noexcept { FValidFrom = value; }
  TDateTime ValidTo() const noexcept { return FValidTo; }
  void SetValidTo(TDateTime value) noexcept { FValidTo = value; }
  TStringList& Roles() noexcept { return FRoles; }
  const TStringList& Roles() const noexcept { return FRoles; }
  const std::string& Notes() const noexcept { return FNotes; }
  void SetNotes(std::string value) { FNotes = std::move(value); }
  int32_t HostelId() const noexcept { return FHostelId; }
  void SetHostelId(int32_t value) noexcept { FHostelId = value; }
  int32_t ReaderId() const noexcept { return FReaderId; }
  void SetReaderId(int32_t value) noexcept { FReaderId = value; }

  // The roles hold "CLEANED", in any letter case.
  bool IsForCleaned() const { return FRoles.IndexOf(keyCleaned) >= 0; }

 private:
  TDateTime FValidFrom{};
  TDateTime FValidTo{};
  TStringList FRoles;
  std::string FNotes;
  int32_t FHostelId = 0;
  int32_t FReaderId = 0;
};

// One card. The access list holds keys the card does not own: whoever made them keeps them
// alive as long as the card refers to them.
class TKeyCard {
 public:
  const std::string& Key() const noexcept { return FKey; }
  void SetKey(std::string value) { FKey = std::move(value); }
  std::vector<TKey*>& AccessList() noexcept { return FAccessList; }
  const std::vector<TKey*>& AccessList() const noexcept { return FAccessList; }

  // The first access entry for the reader, or nullptr.
  TKey* GetKey(int32_t ReaderId) const;
  // Rebuilt on every call: the decimal reader identifier of every access entry in list order,
  // delimiter "/" (so its delimited text reads "3/7/12"). The list stays the card's.
  TStringList& Readers();

 private:
  std::string FKey;
  std::vector<TKey*> FAccessList;  // the keys are not owned
  TStringList FReaders;
};

}  // namespace kestova
