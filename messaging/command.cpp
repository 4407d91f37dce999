#include "messaging/command.h"

#include <array>

#include "platform/ascii_text.h"

namespace kestova {
namespace {

constexpr std::array<std::string_view, kCommandCount> kNames = {
    "REFRESH_REPORT",
    "REFRESH_LOGO",
    "DELETE_FILE",
    "LOGOUT",
    "SHOW_MESSAGE",
    "RELOAD_SETTINGS",
    "FLUSH_CACHE",
    "SLAVE_COPY_PARTNER",
    "SLAVE_COPY_PRODUCT",
    "MQTT_PING",
    "FURS_SEND",
    "FURS_ACTIVE",
    "FURS_UPDATE_SETTINGS",
    "INVENTORY_MODE",
    "DOWNLOAD_FILE",
    "UPLOAD_FILE",
    "SEND_SMS",
    "RESET_REPORT",
    "POS_EVENT",
    "KESTOVA_TEST",
    "KESTOVA_HELP",
    "KESTOVA_APPUPDATE",
    "KESTOVA_SETDB",
    "KESTOVA_SERVERLIST_REQ",
    "KESTOVA_SERVERLIST_RES",
    "KESTOVA_SENDCODE",
    "MQTT_SEND_INFO",
    "MQTT_CONNECTED",
    "MQTT_DISCONNECTED",
    "MQTT_SET_MASTER",
    "RFID_PROCESSCARD",
    "RFID_RESETREADER",
    "RFID_KEYDATA",
    "RFID_CLEANED",
    "RFID_ADDKEY",
    "RFID_DELETEKEY",
    "RFID_BEEP",
    "RFID_OPENDOOR",
    "RFID_ERROR",
    "RFID_OK",
    "RFID_READERS_REQ",
    "RFID_READERS_ANS",
    "RFID_KEYLIST_REQ",
    "RFID_KEYLIST_ANS",
    "RFID_HELLO_REQ",
    "RFID_HELLO_ANS",
    "ROOM_OCCUPANCY",
    "REFRESH_DISPLAY",
    "ENUM_DISPLAYS_REQ",
    "ENUM_DISPLAYS_ANS",
};

}  // namespace

std::string_view CommandName(TCommand command) noexcept {
  const auto index = static_cast<std::size_t>(command);
  return index < kNames.size() ? kNames[index] : std::string_view();
}

TCommand CommandByName(std::string_view text) noexcept {
  if (text.empty() || text.size() >= 256) return kUnknownCommand;
  for (std::size_t i = 0; i < kNames.size(); ++i)
    if (SameText(kNames[i], text)) return static_cast<TCommand>(i);
  return kUnknownCommand;
}

std::string CommandText(TCommand command) {
  const std::string_view name = CommandName(command);
  return name.empty() ? std::to_string(static_cast<unsigned>(command)) : std::string(name);
}

}  // namespace kestova
