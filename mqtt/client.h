#pragma once
// TMqttClient, the MQTT 3.1.1 client the application uses: broker settings, Connect with a
// CONNECT packet, Publish, Subscribe, Unsubscribe, Ping and Disconnect, a connection status
// with its change event, automatic reconnection, and events for received messages and
// subscription acknowledgements. It owns the transport, the session and the reader, writer
// and keep-alive threads; the operations only queue packets for the writer, except Connect
// (which opens the socket on the calling thread, up to 5 s plus name resolution) and the
// DISCONNECT of Disconnect (written directly).
//
// Threads. Every operation and every setter belongs to the main thread (MainThread()); set the
// event handlers before the first Connect. The workers hand what they find to the main thread
// synchronously, so received packets are processed and events raised on the main thread,
// which must therefore run its event loop (or MainThread().Drain) while it expects events.
// Exceptions: when the reader thread finds the connection dead, the change to
// csConnectionLost and its OnConnectedStatusChanged run on the reader thread; events raised
// inside an operation run on the caller's thread (status changes of Connect and Disconnect,
// OnPingRequest, OnPacketSent of a direct send). An error raised by an event handler (other
// than the publish handlers, whose errors are logged) goes back to the worker that delivered
// the packet and is logged there.
//
// Healing. With KeepAliveSettings.AutoReconnect, Connect arms the automatic reconnection
// itself: a first attempt that fails is retried, like a lost connection, on the keep-alive
// thread's schedule (TMqttKeepAliveThread). No CONNACK within ConnAckTimeout of the CONNECT, no
// answer within the keep-alive interval after a PINGREQ, or a protocol violation by the broker
// close the connection, and the reconnection follows. A reconnect never replays a SUBSCRIBE or
// UNSUBSCRIBE of an earlier connection; a clean session drops what the previous session left
// in flight.
//
// Destruction stops the keep-alive, writer and reader threads in that order and waits for
// them (running handed-over calls meanwhile) without sending a DISCONNECT; no event is raised
// from then on.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "mqtt/client_session.h"
#include "mqtt/client_settings.h"
#include "mqtt/global.h"
#include "mqtt/logger.h"
#include "mqtt/network_connection.h"

namespace kestova {

class TMqttPacket;
class TMqttConnectPacket;
class TMqttKeepAliveThread;
enum class TMqttCloseReason : uint8_t;
class TMqttReaderThread;
class TMqttWriterThread;

class TMqttClient {
 public:
  using TConnectedStatusChangedEvent =
      std::function<void(TMqttClient& ASender, bool AConnected, TMqttConnectionStatus AStatus)>;
  using TPublishReceivedEvent = std::function<void(TMqttClient& ASender, uint16_t APacketID, const std::string& ATopic,
                                                   const TMqttBytes& APayload)>;
  using TSubscriptionAcknowledgedEvent =
      std::function<void(TMqttClient& ASender, uint16_t APacketID, const TMqttSubscriptions& ASubscriptions)>;
  using TPacketEvent = std::function<void(TMqttClient& ASender, const TMqttPacketInfo& APacketInfo)>;
  using TNotifyEvent = std::function<void(TMqttClient& Sender)>;
  using TConnectFailedEvent = std::function<void(TMqttClient& ASender, const std::string& AReason)>;

  // Port 1883, IPv4, default settings, csNotConnected; no thread is started.
  TMqttClient();
  virtual ~TMqttClient();
  TMqttClient(const TMqttClient&) = delete;
  TMqttClient& operator=(const TMqttClient&) = delete;

  // --- Settings (read by Connect) ---
  // Empty: Connect makes a random one of 23 characters and stores it here.
  const std::string& ClientID() const noexcept { return FClientID; }
  void SetClientID(std::string AClientID) { FClientID = std::move(AClientID); }
  const std::string& BrokerHostName() const noexcept { return FBrokerHostName; }
  void SetBrokerHostName(std::string AHostName) { FBrokerHostName = std::move(AHostName); }
  int32_t BrokerPort() const noexcept { return FBrokerPort; }
  void SetBrokerPort(int32_t APort) noexcept { FBrokerPort = APort; }
  TMqttIPVersion IPVersion() const noexcept { return FIPVersion; }
  void SetIPVersion(TMqttIPVersion AVersion) noexcept { FIPVersion = AVersion; }
  bool UseSSL() const noexcept { return FUseSSL; }
  void SetUseSSL(bool AValue) noexcept { FUseSSL = AValue; }
  TMqttProtocolVersion ProtocolVersion() const noexcept { return FProtocolVersion; }
  TMqttTlsSettings& TlsSettings() noexcept { return FTlsSettings; }
  const TMqttTlsSettings& TlsSettings() const noexcept { return FTlsSettings; }
  TMqttKeepAliveSettings& KeepAliveSettings() noexcept { return FKeepAliveSettings; }
  const TMqttKeepAliveSettings& KeepAliveSettings() const noexcept { return FKeepAliveSettings; }
  TMqttCredentials& Credentials() noexcept { return FCredentials; }
  const TMqttCredentials& Credentials() const noexcept { return FCredentials; }
  TMqttLastWillSettings& LastWillSettings() noexcept { return FLastWillSettings; }
  const TMqttLastWillSettings& LastWillSettings() const noexcept { return FLastWillSettings; }
  // Not owned; passed on to the transport and the threads. The client forgets a logger that is
  // destroyed.
  TMqttLogger* Logger() const noexcept { return FLogger.load(); }
  void SetLogger(TMqttLogger* ALogger);
  // "1.2.0.2".
  std::string Version() const;

  // Copies the settings of another client: ClientID, BrokerHostName, BrokerPort, UseSSL, the
  // settings objects and the protocol version (and the IP version and TLS checks).
  void Assign(const TMqttClient& ASource);

  // --- Events (see the header comment for their threads) ---
  TConnectedStatusChangedEvent OnConnectedStatusChanged;
  TPacketEvent OnPacketReceived;
  TPacketEvent OnPacketSent;
  TNotifyEvent OnPingRequest;
  TNotifyEvent OnPingResponse;
  TPublishReceivedEvent OnPublishReceived;
  TPublishReceivedEvent OnPublishReceivedEx;
  TSubscriptionAcknowledgedEvent OnSubscriptionAcknowledged;
  // A connection attempt (Connect's or an automatic one) could not open the connection or queue
  // the CONNECT; AReason is the error's text, e.g. why a TLS handshake failed. Main thread,
  // before the status change that reports the attempt (if any).
  TConnectFailedEvent OnConnectFailed;

  // --- Operations (main thread) ---
  // Opens the connection and queues the CONNECT; the outcome arrives as status changes. Fails
  // with EMqttAssertionError "Please provide the hostname of the broker" without a host name.
  // Nothing happens while connected. A connection that cannot be opened, or whose CONNACK does
  // not come in time, gives csConnectionRejected_ServerUnavailable (no error is raised); with
  // AutoReconnect the client then goes on trying (csReconnecting). The password goes out only
  // with a user name (MQTT-3.1.2-22), the will's QoS and retain flag only with a will topic.
  void Connect(bool ACleanSession);
  // When connected: sends a DISCONNECT, closes the connection and ends in csNotConnected
  // (after csConnectionLost). Otherwise nothing.
  void Disconnect();
  // Queue a PUBLISH; the packet identifier (0 for QoS 0). EMqttAssertionError "This action
  // requires a connected state" when not connected, "This is not a valid topic name" for an
  // invalid topic. The text form sends the UTF-8 bytes of APayload.
  uint16_t Publish(const std::string& ATopic, std::string_view APayload, TMqttQoS AQos, bool ARetain);
  uint16_t Publish(const std::string& ATopic, TMqttByteView APayload, TMqttQoS AQos, bool ARetain);
  // Queue a SUBSCRIBE; its identifier, 0 when queuing failed. EMqttAssertionError as Publish,
  // with "This is not a valid topic filter"; EMqttEncodeError when the arrays differ in length.
  uint16_t Subscribe(const std::string& ATopic, TMqttQoS ATopicQosLevel);
  uint16_t Subscribe(const TMqttStringArray& ATopics, const TMqttQosArray& ATopicQosLevels);
  // Queue an UNSUBSCRIBE; as Subscribe.
  uint16_t Unsubscribe(const std::string& ATopic);
  uint16_t Unsubscribe(const TMqttStringArray& ATopics);
  // When connected, queue a PINGREQ.
  void Ping();

  // The broker has accepted the connection (status csConnected). Any thread.
  bool IsConnected() const noexcept { return FSession.HasActiveMqttConnection(); }
  // Any thread.
  TMqttConnectionStatus ConnectionStatus() const noexcept { return FConnectionStatus.load(); }

  TMqttClientSession& Session() noexcept { return FSession; }
  TMqttNetworkConnection& Connection() noexcept { return *FConnection; }

  // For tests: the time between transmissions of an unacknowledged QoS 1 or QoS 2 packet
  // (10 s otherwise). Takes effect at once, also for a running writer.
  void SetRetryIntervalForTesting(std::chrono::milliseconds AInterval);

  // How long a CONNECT may wait for its CONNACK before the connection is closed.
  static constexpr std::chrono::milliseconds kConnAckTimeout{10000};
  std::chrono::milliseconds ConnAckTimeout() const noexcept { return FConnAckTimeout; }
  // For tests: a shorter wait than kConnAckTimeout, from the next CONNECT on.
  void SetConnAckTimeoutForTesting(std::chrono::milliseconds ATimeout) noexcept { FConnAckTimeout = ATimeout; }
  // When the next automatic reconnect attempt is due (the clock's epoch: at once, or none
  // scheduled). For tests and benchmarks.
  TMqttDateTime NextReconnectAttempt() const;

 protected:
  // Major, minor, release, build in the four bytes, high to low.
  virtual uint32_t GetVersionNr() const;
  virtual void DoPingRequest();
  virtual void DoPingResponse();
  virtual void DoPacketReceived(const TMqttPacketInfo& APacketInfo);
  virtual void DoPacketSent(const TMqttPacketInfo& APacketInfo);
  // Raises OnPublishReceived, then OnPublishReceivedEx.
  virtual void DoPublishReceived(uint16_t APacketID, const std::string& ATopic, const TMqttBytes& APayload);
  virtual void DoConnectedStatusChanged(bool AConnected, TMqttConnectionStatus AStatus);
  // The handler gets a copy of the array.
  virtual void DoSubscriptionAcknowledged(uint16_t APacketID, const TMqttSubscriptions& ASubscriptions);

  // Takes and releases APacket; any failure is logged ("Failed to handle outgoing packet").
  void HandleOutgoingPacket(std::unique_ptr<TMqttPacket> APacket, bool ASendDirectly);
  void HandleIncomingPacket(std::unique_ptr<TMqttPacket> APacket);

 private:
  void ConnectInternal(bool ACleanSession);
  void DisconnectInternal(uint64_t AConnectionId);
  void HandleConnectionStatusChanged(TMqttConnectionStatus AStatus);
  void AfterStatusChanged(TMqttConnectionStatus AStatus);
  void ConnectionOnConnected(uint64_t AConnectionId);
  void ConnectionOnDisconnected(uint64_t AConnectionId);
  void WriterThreadOnPacketSent();
  void ReaderThreadOnPacketReceived();
  void KeepAliveThreadOnRequestReconnect();
  void KeepAliveThreadOnRequestClose(TMqttCloseReason AReason, uint64_t AConnectionId);
  std::unique_ptr<TMqttConnectPacket> BuildConnectPacket(bool ACleanSession) const;
  void HandlePublishReceived(TMqttPacket& APacket);
  void HandleSubscriptionAcknowledged(TMqttPacket& APacket);
  void RequireConnected() const;
  void ForgetLogger(TMqttLogger& ALogger);
  bool Destroying() const noexcept { return FDestroying.load(); }

  std::string FClientID;
  std::string FBrokerHostName;
  int32_t FBrokerPort = MQTT_DEFAULT_PORT;
  bool FUseSSL = false;
  TMqttIPVersion FIPVersion = TMqttIPVersion::ipV4;
  TMqttProtocolVersion FProtocolVersion = TMqttProtocolVersion::mqtt_v3_1_1;
  TMqttLastWillSettings FLastWillSettings;
  TMqttKeepAliveSettings FKeepAliveSettings;
  TMqttCredentials FCredentials;
  TMqttTlsSettings FTlsSettings;
  std::unique_ptr<TMqttNetworkConnection> FConnection;
  TMqttClientSession FSession;
  // Created on demand, released only after all three have been stopped (workers reach each
  // other through these pointers).
  std::unique_ptr<TMqttWriterThread> FWriterThread;
  std::unique_ptr<TMqttReaderThread> FReaderThread;
  std::unique_ptr<TMqttKeepAliveThread> FKeepAliveThread;
  std::atomic<TMqttLogger*> FLogger{nullptr};
  int FLoggerToken = 0;
  std::atomic<TMqttConnectionStatus> FConnectionStatus{TMqttConnectionStatus::csNotConnected};
  std::chrono::milliseconds FRetryInterval;
  std::chrono::milliseconds FConnAckTimeout = kConnAckTimeout;

  // Guards the status against two threads changing it at once (handlers run outside it).
  std::mutex FStatusLock;
  // Guards FCurrentConnectionId and the pausing and resuming of the reader and writer, so the
  // late report of a connection that went down cannot pause the threads of a newer one.
  std::mutex FTransitionLock;
  uint64_t FCurrentConnectionId = 0;
  std::atomic<bool> FDestroying{false};
};

}  // namespace kestova
