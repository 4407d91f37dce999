#pragma once
// Byte-level primitives of the MQTT wire format. Every encoder and decoder of the library goes
// through these; the readers check each read against the bytes that remain, so no input makes
// them read past the end. Big-endian 16-bit values, length-prefixed fields, remaining lengths.
//
// Thread safety: pure functions, callable from any thread; CreateRandomClientId locks the
// library's one random generator.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mqtt/global.h"

namespace kestova {

// 2 bytes: high byte, low byte.
TMqttBytes GetMsbLsb(uint16_t AWord);
// Big-endian 16-bit value at AIndex; advances AIndex by 2. EMqttDecodeError "Could not read"
// when fewer than 2 bytes remain (AIndex then does not move).
uint16_t ReadMsbLsb(TMqttByteView ABytes, std::size_t& AIndex);

void AddByte(TMqttBytes& ABytes, uint8_t AByte);
void AddBytes(TMqttBytes& ABytes, TMqttByteView AOther);
// Inserts AOther before position AIndex (clamped to the end).
void InsertBytes(TMqttBytes& ABytes, std::size_t AIndex, TMqttByteView AOther);

// Appends the 2-byte length and the field. A field longer than 65,535 bytes cannot be described
// by its prefix: EMqttEncodeError instead of a corrupt packet.
void AddLenghtPrefixedField(TMqttBytes& ABytes, TMqttByteView AField);
// The same for text, which must be valid UTF-8 (see CheckTextField).
void AddLenghtPrefixedField(TMqttBytes& ABytes, std::string_view AText);
// Throws EMqttEncodeError when AText is not valid UTF-8 or longer than 65,535 bytes; the packet
// constructors call it so a packet that cannot be encoded is never built.
void CheckTextField(std::string_view AText);

// Length-prefixed field at AIndex. With 2 or fewer bytes left: empty, AIndex unchanged. With a
// declared length longer than what follows: empty, AIndex after the 2 length bytes. Otherwise
// the field, AIndex after it. Never fails.
TMqttBytes ReadLenghtPrefixedField(TMqttByteView ABytes, std::size_t& AIndex);
// Everything from AIndex to the end; AIndex moves to the end.
TMqttBytes ReadToEnd(TMqttByteView ABytes, std::size_t& AIndex);
TMqttBytes ReadBytesOf(const void* APointer, std::size_t ACount);

// Variable-length encoding, least significant 7-bit group first. Not capped at four bytes.
TMqttBytes SerializeRemainingLength(uint64_t AValue);

// One byte of a remaining length: AIndex is the byte's position (0 to 3) in the sequence.
enum class TMqttRemainingLengthStep : uint8_t { rlMore, rlDone, rlMalformed };
TMqttRemainingLengthStep AccumulateRemainingLength(uint32_t& AValue, std::size_t AIndex, uint8_t AByte) noexcept;
// Decodes the remaining length at the start of ABytes; empty input gives 0. EMqttDecodeError
// "Malformed remaining length" when the fourth byte still has bit 7 set or the bytes end while
// the sequence continues.
uint32_t ReadRemainingLength(TMqttByteView ABytes);

// 23 characters from 0-9, a-z, A-Z.
std::string CreateRandomClientId();

// Text fields: UTF-8 bytes of a string and back (the bytes are copied unchanged).
TMqttBytes TextToBytes(std::string_view AText);
std::string BytesToText(TMqttByteView ABytes);

}  // namespace kestova
