#pragma once
// The packet commands of the point-of-sale product family. Packet text carries the name, never
// the number; a parsed packet whose command name is unknown holds kUnknownCommand (255).
#include <cstdint>
#include <string>
#include <string_view>

namespace kestova {

enum class TCommand : uint8_t {
  REFRESH_REPORT = 0,
  REFRESH_LOGO = 1,
  DELETE_FILE = 2,
  LOGOUT = 3,
  SHOW_MESSAGE = 4,
  RELOAD_SETTINGS = 5,
  FLUSH_CACHE = 6,
  SLAVE_COPY_PARTNER = 7,
  SLAVE_COPY_PRODUCT = 8,
  MQTT_PING = 9,
  FURS_SEND = 10,
  FURS_ACTIVE = 11,
  FURS_UPDATE_SETTINGS = 12,
  INVENTORY_MODE = 13,
  DOWNLOAD_FILE = 14,
  UPLOAD_FILE = 15,
  SEND_SMS = 16,
  RESET_REPORT = 17,
  POS_EVENT = 18,
  KESTOVA_TEST = 19,
  KESTOVA_HELP = 20,
  KESTOVA_APPUPDATE = 21,
  KESTOVA_SETDB = 22,
  KESTOVA_SERVERLIST_REQ = 23,
  KESTOVA_SERVERLIST_RES = 24,
  KESTOVA_SENDCODE = 25,
  MQTT_SEND_INFO = 26,
  MQTT_CONNECTED = 27,
  MQTT_DISCONNECTED = 28,
  MQTT_SET_MASTER = 29,
  RFID_PROCESSCARD = 30,
  RFID_RESETREADER = 31,
  RFID_KEYDATA = 32,
  RFID_CLEANED = 33,
  RFID_ADDKEY = 34,
  RFID_DELETEKEY = 35,
  RFID_BEEP = 36,
  RFID_OPENDOOR = 37,
  RFID_ERROR = 38,
  RFID_OK = 39,
  RFID_READERS_REQ = 40,
  RFID_READERS_ANS = 41,
  RFID_KEYLIST_REQ = 42,
  RFID_KEYLIST_ANS = 43,
  RFID_HELLO_REQ = 44,
  RFID_HELLO_ANS = 45,
  ROOM_OCCUPANCY = 46,
  REFRESH_DISPLAY = 47,
  ENUM_DISPLAYS_REQ = 48,
  ENUM_DISPLAYS_ANS = 49,
};

inline constexpr int kCommandCount = 50;
inline constexpr TCommand kUnknownCommand = static_cast<TCommand>(255);

// The name of a command of the table ("SHOW_MESSAGE"); empty for any other value.
std::string_view CommandName(TCommand command) noexcept;

// The first command whose name has the text's length and equals it ignoring the case of ASCII
// letters; the text is not trimmed. Empty text, text of 256 or more characters and text that
// matches no name give kUnknownCommand.
TCommand CommandByName(std::string_view text) noexcept;

// The name, or the decimal value for a command outside the table ("255").
std::string CommandText(TCommand command);

}  // namespace kestova
