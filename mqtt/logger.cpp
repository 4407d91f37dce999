#include "mqtt/logger.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "mqtt/type_name.h"
#include "platform/exception.h"

namespace kestova {
namespace {

void ReplaceAll(std::string& AText, std::string_view AFrom, std::string_view ATo) {
  for (auto at = AText.find(AFrom); at != std::string::npos; at = AText.find(AFrom, at + ATo.size())) {
    AText.replace(at, AFrom.size(), ATo);
  }
}

// Local date and time, "2026-12-10 10:59:04".
std::string LocalDateTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(text, length);
}

std::string ExceptionMessage(const std::exception& AException) {
  if (const auto* own = dynamic_cast<const Exception*>(&AException)) return own->Message();
  return AException.what();
}

}  // namespace

std::string_view MqttLogLevelName(TMqttLogLevel ALevel) noexcept {
  switch (ALevel) {
    case TMqttLogLevel::vFATAL: return "FATAL";
    case TMqttLogLevel::vERROR: return "ERROR";
    case TMqttLogLevel::vWARNING: return "WARNING";
    case TMqttLogLevel::vINFO: return "INFO";
    case TMqttLogLevel::vDEBUG: return "DEBUG";
    case TMqttLogLevel::vNONE: break;
  }
  return {};
}

TMqttLogger::~TMqttLogger() {
  std::vector<std::pair<int, TFreeNotification>> notifications;
  {
    std::lock_guard lock(FNotificationsLock);
    notifications.swap(FFreeNotifications);
  }
  for (auto& [token, notify] : notifications) {
    try {
      if (notify) notify(*this);
    } catch (...) {
      // A destructor cannot report it; the remaining holders must still be told.
    }
  }
}

void TMqttLogger::Fatal(const std::type_info& ASender, const std::string& AMessage, const std::exception* AException) {
  DoLog(ASender, TMqttLogLevel::vFATAL, AMessage, AException);
}

void TMqttLogger::Error(const std::type_info& ASender, const std::string& AMessage, const std::exception* AException) {
  DoLog(ASender, TMqttLogLevel::vERROR, AMessage, AException);
}

void TMqttLogger::Warning(const std::type_info& ASender, const std::string& AMessage,
                          const std::exception* AException) {
  DoLog(ASender, TMqttLogLevel::vWARNING, AMessage, AException);
}

void TMqttLogger::Info(const std::type_info& ASender, const std::string& AMessage) {
  DoLog(ASender, TMqttLogLevel::vINFO, AMessage, nullptr);
}

void TMqttLogger::Debug(const std::type_info& ASender, const std::string& AMessage) {
  DoLog(ASender, TMqttLogLevel::vDEBUG, AMessage, nullptr);
}

void TMqttLogger::Debug(const std::type_info& ASender, const std::string& AMessage, uint8_t AByte) {
  // The rendering is only built for a line that will be logged.
  if (Filtered(TMqttLogLevel::vDEBUG)) return;
  DoLog(ASender, TMqttLogLevel::vDEBUG, AMessage + " --- " + ByteToBits(AByte) + " (" + std::to_string(AByte) + ")",
        nullptr);
}

void TMqttLogger::Debug(const std::type_info& ASender, const std::string& AMessage, TMqttByteView ABytes) {
  if (Filtered(TMqttLogLevel::vDEBUG)) return;
  std::string text = AMessage + " --- ";
  const std::size_t count = std::min(ABytes.size(), kMaxLoggedBytes);
  text.reserve(text.size() + 9 * count);
  for (std::size_t i = 0; i < count; ++i) {
    text += ByteToBits(ABytes[i]);
    text += ' ';
  }
  DoLog(ASender, TMqttLogLevel::vDEBUG, text, nullptr);
}

int TMqttLogger::AddFreeNotification(TFreeNotification ANotification) {
  std::lock_guard lock(FNotificationsLock);
  const int token = FNextToken++;
  FFreeNotifications.emplace_back(token, std::move(ANotification));
  return token;
}

void TMqttLogger::RemoveFreeNotification(int AToken) {
  std::lock_guard lock(FNotificationsLock);
  std::erase_if(FFreeNotifications, [AToken](const auto& AEntry) { return AEntry.first == AToken; });
}

std::string TMqttLogger::ByteToBits(uint8_t AByte) {
  std::string bits(8, '0');
  for (int bit = 0; bit < 8; ++bit) {
    if (AByte & (0x80 >> bit)) bits[static_cast<std::size_t>(bit)] = '1';
  }
  return bits;
}

void TMqttLogger::Logoutput(const std::string& AText) {
  std::string line = AText;
  line += '\n';
  // One write per line: the stream's own lock keeps lines from different threads whole.
  std::fwrite(line.data(), 1, line.size(), stderr);
}

void TMqttLogger::DoLog(const std::type_info& ASender, TMqttLogLevel ALevel, const std::string& AMessage,
                        const std::exception* AException) {
  if (Filtered(ALevel)) return;
  if (OnLog) OnLog(*this, ALevel, AMessage);
  Logoutput(FormatLogMessage(ASender, ALevel, AMessage, AException));
}

std::string TMqttLogger::FormatLogMessage(const std::type_info& ASender, TMqttLogLevel ALevel,
                                          const std::string& AMessage, const std::exception* AException) {
  // Each placeholder is replaced on the whole text in this order, so a message holding
  // "{level}" has it replaced too.
  std::string text = "{time}: {level} - {sender} -- {message}";
  ReplaceAll(text, "{time}", LocalDateTime());
  ReplaceAll(text, "{sender}", MqttTypeName(ASender));
  ReplaceAll(text, "{message}", AMessage);
  ReplaceAll(text, "{level}", MqttLogLevelName(ALevel));
  if (AException) {
    // No stack trace provider exists, so its line stays empty.
    text += "\r\n" + ExceptionMessage(*AException) + "\r\n";
  }
  return text;
}

}  // namespace kestova
