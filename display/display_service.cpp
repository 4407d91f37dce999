#include "display/display_service.h"

#include "display/com_display_output.h"
#include "display/com_port_setup.h"
#include "display/display_protocol.h"
#include "display/mqtt_settings_check.h"
#include "display/pole_display_protocol.h"
#include "display/settings.h"
#include "display/settings_check.h"
#include "display/text_shaping.h"
#include "messaging/mqtt_manager.h"
#include "platform/hex_bytes.h"
#include "platform/main_thread.h"

namespace kestova {

TKestovaDisplayService* KestovaDisplayService = nullptr;

namespace {

const char* StatusLine(TMqttConnectionStatus status) {
  switch (status) {
    case TMqttConnectionStatus::csConnectionRejected_InvalidProtocolVersion: return "Invalid protocol version.";
    case TMqttConnectionStatus::csConnectionRejected_InvalidIdentifier: return "Invalid identifier.";
    case TMqttConnectionStatus::csConnectionRejected_ServerUnavailable: return "Server unavailable.";
    case TMqttConnectionStatus::csConnectionRejected_InvalidCredentials: return "Invalid credentials.";
    case TMqttConnectionStatus::csConnectionRejected_ClientNotAuthorized: return "Client not authorized.";
    case TMqttConnectionStatus::csConnectionLost: return "Connection lost.";
    case TMqttConnectionStatus::csConnecting: return "Connecting...";
    case TMqttConnectionStatus::csReconnecting: return "Reconnecting...";
    default: return nullptr;
  }
}

// The greeting always fills 20 positions per line, whatever the width.
constexpr int32_t kGreetingWidth = 20;

}  // namespace

TKestovaDisplayService::TKestovaDisplayService()
    : mqttClient(std::make_unique<TMqttClient>()), comDisplay(std::make_unique<TSerialComm>()) {
  mqttClient->SetClientID("Display");
  mqttClient->KeepAliveSettings().SetAutoReconnect(true);
  mqttClient->KeepAliveSettings().SetAutoReconnectInterval(10);
  mqttClient->OnConnectedStatusChanged = [this](TMqttClient& sender, bool connected, TMqttConnectionStatus status) {
    mqttClientConnectedStatusChanged(sender, connected, status);
  };
  mqttClient->OnPublishReceived = [this](TMqttClient& sender, uint16_t id, const std::string& topic,
                                         const TMqttBytes& payload) {
    mqttClientPublishReceived(sender, id, topic, payload);
  };
  mqttClient->OnSubscriptionAcknowledged = [this](TMqttClient& sender, uint16_t id, const TMqttSubscriptions& subs) {
    mqttClientSubscriptionAcknowledged(sender, id, subs);
  };
  mqttClient->OnConnectFailed = [this](TMqttClient&, const std::string& reason) { ConnectFailed(reason); };
  mqttClient->OnPacketReceived = [this](TMqttClient&, const TMqttPacketInfo& info) {
    if (FOfflinePacketId != 0 && info.PacketType == TMqttPacketType::mtPUBACK && info.PacketId == FOfflinePacketId)
      FOfflineAcknowledged = true;
  };

  comDisplay->SetBaudrate(br9600);
  TSerialFlowControl& flow = comDisplay->FlowControl();
  flow.SetOutCtsFlow(false);
  flow.SetOutDsrFlow(false);
  flow.SetXonXoffOut(false);
  flow.SetXonXoffIn(false);
  flow.SetDsrSensitivity(false);
  flow.SetTxContinueOnXoff(false);
  flow.SetControlDtr(dtrDisabled);
  flow.SetControlRts(rtsDisabled);
  comDisplay->SetDeviceName("COM%d");
  comDisplay->SettingsStore().SetRegRoot(rrCURRENTUSER);
  comDisplay->SettingsStore().SetLocation(slINIFile);
  comDisplay->OnError = [this](TSerialCustomComm& sender, int32_t errors) { comDisplayError(sender, errors); };
  FComOutput = std::make_unique<TComDisplayOutput>(*comDisplay, [this](const std::string& line) { Log(line); });
}

TKestovaDisplayService::~TKestovaDisplayService() {
  // The manager publishes through our client, so it goes first.
  if (MqttManager && MqttManager->MqttClient == mqttClient.get()) MqttManager.reset();
  mqttClient.reset();
  // Closing the port on its way out can still report line errors; the output that would act on
  // them goes first, so nothing may reach it any more.
  comDisplay->OnError = nullptr;
  FComOutput.reset();
  comDisplay.reset();
  if (KestovaDisplayService == this) KestovaDisplayService = nullptr;
}

void TKestovaDisplayService::Log(const std::string& Msg) {
  if (FLogEvent) FLogEvent(Msg);
}

void TKestovaDisplayService::ServiceStartInternal() {
  AppSettings = std::make_unique<TSettings>();
  AppSettings->Load(SettingsFilePath(FSettingsFileName));
  for (const TSettingsProblem& problem : CheckSettings(*AppSettings)) Log(problem.Text);
  try {
    if (AppSettings->DisplayMode == dpCom) StartSerialOutput();
    if (AppSettings->DisplayMode == dpDll) StartUsbOutput();
    Log("MQTT connecting to " + AppSettings->MqttBroker);
    Log("MQTT clientID: " + AppSettings->MqttClient);
    Log("MQTT username: " + AppSettings->MqttUser);
    if (AppSettings->MqttUseTLS) Log(MqttTlsStartLine(*AppSettings));
    const TMqttSettingsCheck check = CheckMqttSettings(*AppSettings);
    for (const TSettingsProblem& problem : check.Problems) Log(problem.Text);
    ConfigureMqttClient(check);
    mqttClient->Connect(true);
    Log("MQTT started");
    MqttManager = std::make_unique<TMqttManager>(mqttClient.get());
  } catch (const std::exception& e) {
    Log(e.what());
  }
}

void TKestovaDisplayService::ConfigureMqttClient(const TMqttSettingsCheck& check) {
  const TSettings& s = *AppSettings;
  mqttClient->KeepAliveSettings().SetKeepAliveInterval(check.KeepAlive);
  mqttClient->KeepAliveSettings().SetKeepConnectionAlive(check.KeepAlive != 0);
  mqttClient->SetClientID(s.MqttClient);
  mqttClient->SetBrokerHostName(s.MqttBroker);
  mqttClient->SetBrokerPort(s.MqttPort);
  mqttClient->Credentials().SetUsername(s.MqttUser);
  mqttClient->Credentials().SetPassword(s.MqttPass);
  mqttClient->SetUseSSL(s.MqttUseTLS);
  mqttClient->TlsSettings().SetVerifyPeer(s.MqttTlsVerify);
  mqttClient->TlsSettings().SetCAFile(s.MqttCAFile);
  FUseStatusTopic = check.UseStatusTopic;
  if (FUseStatusTopic) {
    // The broker says "offline" for us when the connection ends without a DISCONNECT.
    TMqttLastWillSettings& will = mqttClient->LastWillSettings();
    will.SetTopic(s.MqttStatusTopic);
    will.SetWillMessage(kStatusOffline);
    will.SetQoS(TMqttQoS::qosAtLeastOnce);
    will.SetRetain(true);
  }
}

uint16_t TKestovaDisplayService::PublishStatus(const char* status) {
  if (!FUseStatusTopic || !mqttClient->IsConnected()) return 0;
  return mqttClient->Publish(AppSettings->MqttStatusTopic, std::string_view(status), TMqttQoS::qosAtLeastOnce, true);
}

void TKestovaDisplayService::PublishOfflineBeforeStop() {
  if (!FUseStatusTopic || !mqttClient->IsConnected()) return;
  FOfflineAcknowledged = false;
  FOfflinePacketId = PublishStatus(kStatusOffline);
  MainThread().RunTasksUntil([this] { return FOfflineAcknowledged || !mqttClient->IsConnected(); },
                             TDeadline::After(kOfflineAckWait));
  FOfflinePacketId = 0;
}

void TKestovaDisplayService::ConnectFailed(const std::string& reason) {
  // Only with TLS, where the reason (an untrusted, expired or wrongly named certificate) is what
  // the installer needs; without it the status lines say all there is, as they always have.
  if (!AppSettings || !AppSettings->MqttUseTLS || reason == FLoggedConnectFailure) return;
  FLoggedConnectFailure = reason;
  Log("MQTT connection failed: " + reason);
}

void TKestovaDisplayService::StartSerialOutput() {
  const TSettings& s = *AppSettings;
  Log("COM port setting (Settings.ComPort): " + s.ComPort);
  Log("COM speed setting (Settings.ComSpeed): " + std::to_string(s.ComSpeed));
  Log("COM connecting to " + s.ComPort);
  if (IsComPortNumber(s.ComPort))
    comDisplay->SetPortNum(ComPortNumber(s.ComPort));
  else
    comDisplay->SetDeviceName(ComPortDeviceName(s.ComPort));
  if (const auto rate = BaudrateForSpeed(s.ComSpeed)) {
    comDisplay->SetBaudrate(*rate);
  } else if (s.ComSpeed > 0) {
    // Not one of the named speeds: the line still runs at the speed asked for.
    comDisplay->SetUserBaudrate(s.ComSpeed);
    comDisplay->SetBaudrate(brUser);
  }
  // Checked at start: an unknown set or bytes that are no hexadecimal were put back to none.
  const TDisplayProtocol protocol = DisplayProtocolByName(s.DisplayProtocol).value_or(kDefaultDisplayProtocol);
  const ByteString init = BytesFromHex(s.DisplayInit).value_or(ByteString());
  if (protocol != kDefaultDisplayProtocol)
    Log("COM display protocol (Settings.DisplayProtocol): " + std::string(DisplayProtocolName(protocol)));
  if (!init.empty()) Log("COM display init (Settings.DisplayInit): " + s.DisplayInit);
  FComOutput->SetDisplayProtocol(protocol, init, s.Width);
  Log("COM started");
}

void TKestovaDisplayService::StartUsbOutput() {
  const std::string path = UsbPoleDisplayLibraryPath();
  Log("Loading DLL: " + path);
  if (!FUsbDisplay.Load(path)) {
    Log("DLL not started!");
    Log(FUsbDisplay.LastError());
  } else {
    Log(FUsbDisplay.OpenUSBpd() == 0 ? "DLL started" : "DLL not started!");
  }
  FUsbDisplay.WritePD(cmdClear);
  FUsbDisplay.WritePD(cmdL1);
  FUsbDisplay.WritePD(StrExactR(PreProcess("Kestova Vumo", AppSettings->Width), " ", kGreetingWidth));
  FUsbDisplay.WritePD(cmdL2);
  FUsbDisplay.WritePD(StrExactR("", " ", kGreetingWidth));
}

void TKestovaDisplayService::ServiceStart(bool& Started) {
  (void)Started;
  ServiceStartInternal();
}

void TKestovaDisplayService::ServiceStop(bool& Stopped) {
  (void)Stopped;
  Log("Service stopping...");
  PublishOfflineBeforeStop();
  mqttClient->Disconnect();
  if (AppSettings && AppSettings->DisplayMode == dpCom) FComOutput->Close();
  if (AppSettings && AppSettings->DisplayMode == dpDll) FUsbDisplay.CloseUSBpd();
  Log("Service stopped");
}

void TKestovaDisplayService::ServiceShutdown() {
  PublishOfflineBeforeStop();
  mqttClient->Disconnect();
  if (AppSettings && AppSettings->DisplayMode == dpCom) FComOutput->Close();
}

void TKestovaDisplayService::mqttClientConnectedStatusChanged(TMqttClient& ASender, bool AConnected,
                                                              TMqttConnectionStatus AStatus) {
  (void)ASender;
  if (!AConnected) {
    if (const char* line = StatusLine(AStatus)) Log(line);
    return;
  }
  FLoggedConnectFailure.clear();
  PublishStatus(kStatusOnline);
  Log("Subscribing to topics");
  const TStringList& topics = *AppSettings->MqttTopics;
  if (topics.Empty()) {
    Log("Error: No topics!");
    return;
  }
  // A topic the client would refuse was named in the log at start; the others are subscribed.
  for (const std::string& topic : topics.Items())
    if (IsSubscribableTopic(topic)) mqttClient->Subscribe(topic, TMqttQoS::qosAtMostOnce);
}

void TKestovaDisplayService::mqttClientSubscriptionAcknowledged(TMqttClient& ASender, uint16_t APacketID,
                                                                const TMqttSubscriptions& ASubscriptions) {
  (void)ASender;
  (void)APacketID;
  for (const TMqttSubscription& s : ASubscriptions)
    Log("Subscribing to \"" + s.Topic + "\": " + (s.Accepted ? "Accepted" : "Denied"));
}

void TKestovaDisplayService::comDisplayError(TSerialCustomComm& Sender, int32_t Errors) {
  (void)Sender;
  Log("Connection errors: " + std::to_string(Errors));
  FComOutput->LineErrors(Errors);
}

}  // namespace kestova
