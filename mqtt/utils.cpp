#include "mqtt/utils.h"

#include <algorithm>
#include <mutex>
#include <random>

#include "mqtt/exceptions.h"
#include "platform/format.h"
#include "platform/text_codec.h"

namespace kestova {
namespace {

std::size_t Remaining(TMqttByteView ABytes, std::size_t AIndex) noexcept {
  return AIndex < ABytes.size() ? ABytes.size() - AIndex : 0;
}

void CheckFieldLength(std::size_t ALength) {
  if (ALength > MQTT_MAX_FIELD_LENGTH) {
    throw EMqttEncodeError(Format("Field of %u bytes is longer than the %u bytes its length prefix can describe",
                                  ALength, MQTT_MAX_FIELD_LENGTH));
  }
}

}  // namespace

TMqttBytes GetMsbLsb(uint16_t AWord) { return {static_cast<uint8_t>(AWord >> 8), static_cast<uint8_t>(AWord & 0xFF)}; }

uint16_t ReadMsbLsb(TMqttByteView ABytes, std::size_t& AIndex) {
  if (Remaining(ABytes, AIndex) < 2) throw EMqttDecodeError(kMqttCouldNotRead);
  const auto value = static_cast<uint16_t>((ABytes[AIndex] << 8) | ABytes[AIndex + 1]);
  AIndex += 2;
  return value;
}

void AddByte(TMqttBytes& ABytes, uint8_t AByte) { ABytes.push_back(AByte); }

void AddBytes(TMqttBytes& ABytes, TMqttByteView AOther) { ABytes.insert(ABytes.end(), AOther.begin(), AOther.end()); }

void InsertBytes(TMqttBytes& ABytes, std::size_t AIndex, TMqttByteView AOther) {
  const auto at = ABytes.begin() + static_cast<std::ptrdiff_t>(std::min(AIndex, ABytes.size()));
  ABytes.insert(at, AOther.begin(), AOther.end());
}

void AddLenghtPrefixedField(TMqttBytes& ABytes, TMqttByteView AField) {
  CheckFieldLength(AField.size());
  AddBytes(ABytes, GetMsbLsb(static_cast<uint16_t>(AField.size())));
  AddBytes(ABytes, AField);
}

void AddLenghtPrefixedField(TMqttBytes& ABytes, std::string_view AText) {
  CheckTextField(AText);
  AddLenghtPrefixedField(ABytes, TMqttByteView(reinterpret_cast<const uint8_t*>(AText.data()), AText.size()));
}

void CheckTextField(std::string_view AText) {
  CheckFieldLength(AText.size());
  if (!IsValidUtf8(AText)) throw EMqttEncodeError("Text field is not valid UTF-8");
}

TMqttBytes ReadLenghtPrefixedField(TMqttByteView ABytes, std::size_t& AIndex) {
  if (Remaining(ABytes, AIndex) <= 2) return {};
  const uint16_t length = ReadMsbLsb(ABytes, AIndex);
  if (Remaining(ABytes, AIndex) < length) return {};
  const auto first = ABytes.begin() + static_cast<std::ptrdiff_t>(AIndex);
  TMqttBytes field(first, first + length);
  AIndex += length;
  return field;
}

TMqttBytes ReadToEnd(TMqttByteView ABytes, std::size_t& AIndex) {
  if (Remaining(ABytes, AIndex) == 0) {
    AIndex = std::max(AIndex, ABytes.size());
    return {};
  }
  TMqttBytes rest(ABytes.begin() + static_cast<std::ptrdiff_t>(AIndex), ABytes.end());
  AIndex = ABytes.size();
  return rest;
}

TMqttBytes ReadBytesOf(const void* APointer, std::size_t ACount) {
  if (ACount == 0) return {};
  const auto* first = static_cast<const uint8_t*>(APointer);
  return TMqttBytes(first, first + ACount);
}

TMqttBytes SerializeRemainingLength(uint64_t AValue) {
  TMqttBytes out;
  do {
    auto digit = static_cast<uint8_t>(AValue % 128);
    AValue /= 128;
    if (AValue > 0) digit |= 0x80;
    out.push_back(digit);
  } while (AValue > 0);
  return out;
}

TMqttRemainingLengthStep AccumulateRemainingLength(uint32_t& AValue, std::size_t AIndex, uint8_t AByte) noexcept {
  if (AIndex >= MQTT_MAX_REMAINING_LENGTH_BYTES) return TMqttRemainingLengthStep::rlMalformed;
  if (AIndex == 0) AValue = 0;
  AValue += static_cast<uint32_t>(AByte & 0x7F) << (7 * AIndex);
  if ((AByte & 0x80) == 0) return TMqttRemainingLengthStep::rlDone;
  // A fourth byte that still announces another one would need a fifth: the stream is broken.
  return AIndex + 1 >= MQTT_MAX_REMAINING_LENGTH_BYTES ? TMqttRemainingLengthStep::rlMalformed
                                                       : TMqttRemainingLengthStep::rlMore;
}

uint32_t ReadRemainingLength(TMqttByteView ABytes) {
  if (ABytes.empty()) return 0;
  uint32_t value = 0;
  for (std::size_t i = 0; i < ABytes.size(); ++i) {
    switch (AccumulateRemainingLength(value, i, ABytes[i])) {
      case TMqttRemainingLengthStep::rlDone: return value;
      case TMqttRemainingLengthStep::rlMalformed: throw EMqttDecodeError(kMqttMalformedRemainingLength);
      case TMqttRemainingLengthStep::rlMore: break;
    }
  }
  throw EMqttDecodeError(kMqttMalformedRemainingLength);
}

std::string CreateRandomClientId() {
  static constexpr std::string_view kAlphabet = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  // One generator for the process, seeded once from the system's entropy and the clock:
  // re-seeding from the clock alone would hand two clients created in the same tick the same
  // identifier, and the broker would then disconnect one of them.
  static std::mutex lock;
  static std::mt19937_64 generator = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), static_cast<unsigned>(TMqttClock::now().time_since_epoch().count())};
    return std::mt19937_64(seed);
  }();
  std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
  std::string id;
  id.reserve(MQTT_MAX_CLIENT_IDENTIFIER_LENGTH);
  std::lock_guard guard(lock);
  while (id.size() < static_cast<std::size_t>(MQTT_MAX_CLIENT_IDENTIFIER_LENGTH))
    id.push_back(kAlphabet[pick(generator)]);
  return id;
}

TMqttBytes TextToBytes(std::string_view AText) { return TMqttBytes(AText.begin(), AText.end()); }

std::string BytesToText(TMqttByteView ABytes) { return std::string(ABytes.begin(), ABytes.end()); }

}  // namespace kestova
