#pragma once
// The settings objects of the MQTT client: keep-alive and automatic reconnect, credentials,
// the last will, and the checks of the TLS layer. Each copies another of its class with
// Assign, field by field. The client reads them when it connects (and the keep-alive values
// again when the broker accepts the connection).
//
// Thread safety: plain values for the client's thread (the main thread).
#include <cstdint>
#include <string>

#include "mqtt/global.h"

namespace kestova {

class TMqttKeepAliveSettings {
 public:
  // Send PINGREQs (before KeepAliveInterval passes without a write, or after half of it without
  // anything received) and close a connection that answers nothing within KeepAliveInterval.
  bool KeepConnectionAlive() const noexcept { return FKeepConnectionAlive; }
  void SetKeepConnectionAlive(bool AValue) noexcept { FKeepConnectionAlive = AValue; }
  // Seconds; also the keep-alive the CONNECT announces (even when KeepConnectionAlive is off).
  // 0: no PINGREQ at all.
  uint16_t KeepAliveInterval() const noexcept { return FKeepAlivePingInterval; }
  void SetKeepAliveInterval(uint16_t ASeconds) noexcept { FKeepAlivePingInterval = ASeconds; }
  // Reconnect on its own after a connection is lost, and retry a first Connect that fails.
  bool AutoReconnect() const noexcept { return FAutoReconnect; }
  void SetAutoReconnect(bool AValue) noexcept { FAutoReconnect = AValue; }
  // Seconds; the longest wait between reconnect attempts (after waits of about 1, 2, 4 and 8 s).
  uint16_t AutoReconnectInterval() const noexcept { return FAutoReconnectInterval; }
  void SetAutoReconnectInterval(uint16_t ASeconds) noexcept { FAutoReconnectInterval = ASeconds; }

  void Assign(const TMqttKeepAliveSettings& ASource) noexcept { *this = ASource; }

 private:
  bool FKeepConnectionAlive = true;
  uint16_t FKeepAlivePingInterval = MQTT_DEFAULT_KEEPALIVE_INTERVAL;
  bool FAutoReconnect = false;
  uint16_t FAutoReconnectInterval = MQTT_DEFAULT_RECONNECT_INTERVAL;
};

class TMqttCredentials {
 public:
  const std::string& Username() const noexcept { return FUsername; }
  void SetUsername(std::string AValue) { FUsername = std::move(AValue); }
  const std::string& Password() const noexcept { return FPassword; }
  void SetPassword(std::string AValue) { FPassword = std::move(AValue); }

  void Assign(const TMqttCredentials& ASource) { *this = ASource; }

 private:
  std::string FUsername;
  std::string FPassword;
};

class TMqttLastWillSettings {
 public:
  // No will is sent while the topic is empty (or blank).
  const std::string& Topic() const noexcept { return FTopic; }
  void SetTopic(std::string AValue) { FTopic = std::move(AValue); }
  const std::string& WillMessage() const noexcept { return FMessage; }
  void SetWillMessage(std::string AValue) { FMessage = std::move(AValue); }
  bool Retain() const noexcept { return FRetain; }
  void SetRetain(bool AValue) noexcept { FRetain = AValue; }
  TMqttQoS QoS() const noexcept { return FQoS; }
  void SetQoS(TMqttQoS AValue) noexcept { FQoS = AValue; }

  void Assign(const TMqttLastWillSettings& ASource) { *this = ASource; }

 private:
  std::string FTopic;
  std::string FMessage;
  bool FRetain = false;
  TMqttQoS FQoS = TMqttQoS::qosAtMostOnce;
};

// What the TLS layer checks when UseSSL is set. By default the broker's certificate must chain
// to the system's trust store and name the host connected to; a client that checks nothing
// can be read and steered by anyone on the path, so VerifyPeer is off only for test brokers.
class TMqttTlsSettings {
 public:
  bool VerifyPeer() const noexcept { return FVerifyPeer; }
  void SetVerifyPeer(bool AValue) noexcept { FVerifyPeer = AValue; }
  // A PEM file of further trusted certificates (a private CA), used beside the system's.
  const std::string& CAFile() const noexcept { return FCAFile; }
  void SetCAFile(std::string AValue) { FCAFile = std::move(AValue); }
  // The name the certificate must carry when it differs from the broker's host name.
  const std::string& ServerName() const noexcept { return FServerName; }
  void SetServerName(std::string AValue) { FServerName = std::move(AValue); }

  void Assign(const TMqttTlsSettings& ASource) { *this = ASource; }

 private:
  bool FVerifyPeer = true;
  std::string FCAFile;
  std::string FServerName;
};

}  // namespace kestova
