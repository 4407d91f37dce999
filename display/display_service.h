#pragma once
// The display server itself: owns the MQTT client and the serial port to the pole display,
// starts them from the settings, subscribes after every connection, logs every status change,
// acknowledgement and line error, and shows the packets addressed to this display.
//
// With [Mqtt] StatusTopic set, the broker keeps a retained "online" or "offline" there: the
// CONNECT's last will says "offline", every accepted connection publishes "online", and a clean
// stop (ServiceStop or ServiceShutdown) publishes "offline", and waits for the broker to take it,
// before it disconnects.
//
// Threads: everything runs on the main thread, except the status change to csConnectionLost,
// which the MQTT client raises on its reader thread; that handler only logs, so the log
// callback must accept lines from any thread.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "mqtt/client.h"
#include "platform/text_codec.h"
#include "platform/usb_pole_display.h"
#include "serial/serial_comm.h"

namespace kestova {

class TComDisplayOutput;
struct TMqttSettingsCheck;

using TLogEvent = std::function<void(const std::string& Msg)>;

class TKestovaDisplayService {
 public:
  static constexpr const char* ServiceName = "KestovaDisplayService";
  static constexpr const char* DisplayName = "Kestova LED display server";
  static constexpr bool AllowPause = false;
  // How long a clean stop waits for the broker to take the "offline" of the status topic.
  static constexpr std::chrono::milliseconds kOfflineAckWait{5000};

  // Applies the design-time state of the client and the port; nothing is opened.
  TKestovaDisplayService();
  // Releases the manager, the client (its threads stopped, no DISCONNECT) and the port.
  // The stop handler is not run and the USB library is not told to close.
  ~TKestovaDisplayService();
  TKestovaDisplayService(const TKestovaDisplayService&) = delete;
  TKestovaDisplayService& operator=(const TKestovaDisplayService&) = delete;

  std::unique_ptr<TMqttClient> mqttClient;
  std::unique_ptr<TSerialComm> comDisplay;

  // Loads the settings, prepares the display output and connects; logs its failures.
  void ServiceStartInternal();
  void ServiceStart(bool& Started);
  void ServiceStop(bool& Stopped);
  void ServiceShutdown();

  void Log(const std::string& Msg);

  void mqttClientConnectedStatusChanged(TMqttClient& ASender, bool AConnected, TMqttConnectionStatus AStatus);
  // Raises EEncodingError for a payload that is not UTF-8; the client drops such a message.
  void mqttClientPublishReceived(TMqttClient& ASender, uint16_t APacketID, const std::string& ATopic,
                                 const TMqttBytes& APayload);
  void comDisplayError(TSerialCustomComm& Sender, int32_t Errors);
  void mqttClientSubscriptionAcknowledged(TMqttClient& ASender, uint16_t APacketID,
                                          const TMqttSubscriptions& ASubscriptions);

  const TLogEvent& OnLog() const noexcept { return FLogEvent; }
  void SetOnLog(TLogEvent event) { FLogEvent = std::move(event); }

  // Settings.ini beside the executable unless a file is named (the programs' --settings).
  const std::string& SettingsFileName() const noexcept { return FSettingsFileName; }
  void SetSettingsFileName(std::string fileName) { FSettingsFileName = std::move(fileName); }

 private:
  void StartSerialOutput();
  void StartUsbOutput();
  void ProcessMsg(const std::string& MsgTxt);
  void ConfigureMqttClient(const TMqttSettingsCheck& check);
  // Publishes on the status topic when it is in use and connected; the packet identifier, or 0.
  uint16_t PublishStatus(const char* status);
  // Publishes "offline" and waits (running the main thread's tasks) until the broker has
  // acknowledged it or kOfflineAckWait has passed, so the DISCONNECT cannot overtake it.
  void PublishOfflineBeforeStop();
  void ConnectFailed(const std::string& reason);
  void AnswerDisplayEnumeration();
  void ShowLines(const ByteString& line1, const ByteString& line2);

  TLogEvent FLogEvent;
  uint32_t FHandle = 0;
  std::string FSettingsFileName;
  // Bound when the USB output is chosen; without a library every call goes nowhere.
  TUsbPoleDisplay FUsbDisplay;
  // Writes the frames to comDisplay and brings the port back after a failure or a replug.
  std::unique_ptr<TComDisplayOutput> FComOutput;
  // StatusTopic in use (set and a valid topic name).
  bool FUseStatusTopic = false;
  // The "offline" of a clean stop: its packet identifier, and whether its PUBACK came.
  uint16_t FOfflinePacketId = 0;
  bool FOfflineAcknowledged = false;
  // Why the last connection attempt failed, as logged (with TLS on): repeats are not logged again.
  std::string FLoggedConnectFailure;
};

// The running service, set by the program that created it; not owned.
extern TKestovaDisplayService* KestovaDisplayService;

}  // namespace kestova
