#pragma once
// The library's optional logger. Every library class writes through TMqttLogHelper, which does
// nothing when no logger is attached. A logger drops lines above its Verbosity, raises OnLog
// with the raw message, formats the line "{time}: {level} - {sender} -- {message}" and writes
// it to standard error (the platform's debug output).
//
// Thread safety: the log operations and Verbosity/SetVerbosity may be called from any thread at
// once; OnLog runs on the calling thread. Set OnLog before the logger is handed to the client,
// and destroy the logger only after the client has forgotten it (see AddFreeNotification).
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "mqtt/global.h"

namespace kestova {

enum class TMqttLogLevel : uint8_t { vNONE = 0, vFATAL = 1, vERROR = 2, vWARNING = 3, vINFO = 4, vDEBUG = 5 };

class TMqttLogger {
 public:
  // Sender is the logger itself; AMessage is the message as passed in, not formatted.
  using TMqttLogEvent = std::function<void(TMqttLogger& Sender, TMqttLogLevel ALevel, const std::string& AMessage)>;
  using TFreeNotification = std::function<void(TMqttLogger& ALogger)>;

  TMqttLogger() = default;
  // Runs the free notifications, so whoever holds the logger forgets it.
  virtual ~TMqttLogger();
  TMqttLogger(const TMqttLogger&) = delete;
  TMqttLogger& operator=(const TMqttLogger&) = delete;

  TMqttLogLevel Verbosity() const noexcept { return FVerbosity.load(); }
  virtual void SetVerbosity(TMqttLogLevel AVerbosity) { FVerbosity.store(AVerbosity); }

  TMqttLogEvent OnLog;

  // ASender is the type of the object that writes the line ("{sender}" shows its class name).
  // AException may be null; its message follows the line.
  virtual void Fatal(const std::type_info& ASender, const std::string& AMessage,
                     const std::exception* AException = nullptr);
  virtual void Error(const std::type_info& ASender, const std::string& AMessage,
                     const std::exception* AException = nullptr);
  virtual void Warning(const std::type_info& ASender, const std::string& AMessage,
                       const std::exception* AException = nullptr);
  virtual void Info(const std::type_info& ASender, const std::string& AMessage);
  virtual void Debug(const std::type_info& ASender, const std::string& AMessage);
  // AMessage + " --- " + the byte's 8 bits, most significant first + " (" + decimal + ")".
  virtual void Debug(const std::type_info& ASender, const std::string& AMessage, uint8_t AByte);
  // AMessage + " --- " + for each of the first 51 bytes its 8 bits and " ".
  virtual void Debug(const std::type_info& ASender, const std::string& AMessage, TMqttByteView ABytes);

  // Called with the logger when it is destroyed; returns a token for RemoveFreeNotification.
  int AddFreeNotification(TFreeNotification ANotification);
  void RemoveFreeNotification(int AToken);

  // How many bytes the byte-array form of Debug renders.
  static constexpr std::size_t kMaxLoggedBytes = 51;
  // "00000101"
  static std::string ByteToBits(uint8_t AByte);

 protected:
  // Writes one formatted line; the default writes it and a line feed to standard error.
  virtual void Logoutput(const std::string& AText);
  virtual void DoLog(const std::type_info& ASender, TMqttLogLevel ALevel, const std::string& AMessage,
                     const std::exception* AException);
  virtual std::string FormatLogMessage(const std::type_info& ASender, TMqttLogLevel ALevel, const std::string& AMessage,
                                       const std::exception* AException);

  bool Filtered(TMqttLogLevel ALevel) const noexcept { return ALevel > Verbosity(); }

 private:
  std::atomic<TMqttLogLevel> FVerbosity{TMqttLogLevel::vINFO};
  std::mutex FNotificationsLock;
  std::vector<std::pair<int, TFreeNotification>> FFreeNotifications;
  int FNextToken = 1;
};

// Null-safe front: every operation does nothing when ALogger is null. ASender is the writing
// object (normally `this`); the line shows its dynamic class name.
class TMqttLogHelper {
 public:
  template <typename TSender>
  static void Fatal(TMqttLogger* ALogger, const TSender* ASender, const std::string& AMessage,
                    const std::exception* AException = nullptr) {
    if (ALogger) ALogger->Fatal(TypeOf(ASender), AMessage, AException);
  }
  template <typename TSender>
  static void Error(TMqttLogger* ALogger, const TSender* ASender, const std::string& AMessage,
                    const std::exception* AException = nullptr) {
    if (ALogger) ALogger->Error(TypeOf(ASender), AMessage, AException);
  }
  template <typename TSender>
  static void Warning(TMqttLogger* ALogger, const TSender* ASender, const std::string& AMessage,
                      const std::exception* AException = nullptr) {
    if (ALogger) ALogger->Warning(TypeOf(ASender), AMessage, AException);
  }
  template <typename TSender>
  static void Info(TMqttLogger* ALogger, const TSender* ASender, const std::string& AMessage) {
    if (ALogger) ALogger->Info(TypeOf(ASender), AMessage);
  }
  template <typename TSender>
  static void Debug(TMqttLogger* ALogger, const TSender* ASender, const std::string& AMessage) {
    if (ALogger) ALogger->Debug(TypeOf(ASender), AMessage);
  }
  template <typename TSender>
  static void Debug(TMqttLogger* ALogger, const TSender* ASender, const std::string& AMessage, uint8_t AByte) {
    if (ALogger) ALogger->Debug(TypeOf(ASender), AMessage, AByte);
  }
  template <typename TSender>
  static void Debug(TMqttLogger* ALogger, const TSender* ASender, const std::string& AMessage, TMqttByteView ABytes) {
    if (ALogger) ALogger->Debug(TypeOf(ASender), AMessage, ABytes);
  }

 private:
  template <typename TSender>
  static const std::type_info& TypeOf(const TSender* ASender) noexcept {
    if constexpr (std::is_polymorphic_v<TSender>) {
      if (ASender) return typeid(*ASender);
    }
    return typeid(TSender);
  }
};

// "FATAL", "ERROR", "WARNING", "INFO", "DEBUG"; empty for vNONE.
std::string_view MqttLogLevelName(TMqttLogLevel ALevel) noexcept;

}  // namespace kestova
