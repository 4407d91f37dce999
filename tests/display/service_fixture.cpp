#include "tests/display/service_fixture.h"

#include <fstream>

#include "display/settings.h"
#include "messaging/mqtt_manager.h"
#include "platform/main_thread.h"
#include "tests/support/child_process.h"
#include "tests/support/hex.h"

namespace kestova::test {

using namespace std::chrono_literals;

void DisplayServiceTest::SetUp() {
  MainThread().BindToCurrentThread();
  MainThread().Reopen();
  FBroker.Start();
  FSettingsFile = FDir.File("Settings.ini");
}

void DisplayServiceTest::TearDown() {
  FStation.reset();
  FService.reset();
  MqttManager.reset();
  AppSettings.reset();
}

void DisplayServiceTest::WriteSettings(const std::string& settingsExtra, const std::string& mqttExtra,
                                       std::uint16_t port, const std::string& comPort) {
  if (port == 0) port = FBroker.Port();
  const std::string device = comPort.empty() ? FPty.SlavePath() : comPort;
  FDir.WriteFile("Settings.ini", "[Settings]\nComPort=" + device + "\nComSpeed=9600\n" + settingsExtra +
                                     "\n[Mqtt]\nBroker=" + FBroker.Host() + "\nPort=" + std::to_string(port) +
                                     "\nClientID=Display1\n" + mqttExtra + "\n");
}

void DisplayServiceTest::StartService() {
  FService = std::make_unique<TKestovaDisplayService>();
  FService->SetSettingsFileName(FSettingsFile);
  // The log callback may be called on the MQTT reader thread ("Connection lost.").
  FService->SetOnLog([this](const std::string& line) {
    std::lock_guard lock(FLogLock);
    FLog.push_back(line);
  });
  FService->ServiceStartInternal();
}

std::vector<std::string> DisplayServiceTest::LogLines() const {
  std::lock_guard lock(FLogLock);
  return FLog;
}

std::vector<std::string> DisplayServiceTest::LinesFrom(std::size_t from) const {
  std::lock_guard lock(FLogLock);
  return from < FLog.size() ? std::vector<std::string>(FLog.begin() + static_cast<std::ptrdiff_t>(from), FLog.end())
                            : std::vector<std::string>{};
}

int DisplayServiceTest::CountLog(const std::string& line) const {
  std::lock_guard lock(FLogLock);
  return static_cast<int>(std::count(FLog.begin(), FLog.end(), line));
}

bool DisplayServiceTest::WaitForLog(const std::string& line, int times, std::chrono::milliseconds timeout) {
  return PumpUntil([&] { return CountLog(line) >= times; }, timeout);
}

void DisplayServiceTest::Publish(const std::string& topic, const std::string& payload) {
  const std::string file = FDir.WriteFile("payload.bin", payload);
  RunProgramOrThrow(
      {"/usr/bin/mosquitto_pub", "-h", FBroker.Host(), "-p", std::to_string(FBroker.Port()), "-t", topic, "-f", file});
}

void DisplayServiceTest::Deliver(const std::string& topic, const std::string& payload) {
  const int before = CountLog("Packet reiceved");
  Publish(topic, payload);
  ASSERT_TRUE(WaitForLog("Packet reiceved", before + 1)) << "the service never logged the message";
}

std::chrono::milliseconds DisplayServiceTest::Bound() const {
  return std::chrono::milliseconds(2 * FService->comDisplay->Buffers().WriteTimeout());
}

void DisplayServiceTest::PublishLines(const std::string& topic, const std::string& file) {
  TChildProcess publisher({"/bin/sh", "-c",
                           "/usr/bin/mosquitto_pub -h " + FBroker.Host() + " -p " + std::to_string(FBroker.Port()) +
                               " -t " + topic + " -l < " + file});
  ASSERT_TRUE(PumpUntil([&] { return publisher.WaitFor(0ms).has_value(); }, 120s));
}

void DisplayServiceTest::ConnectStation(const std::string& topic) {
  FStation = std::make_unique<TMqttClient>();
  FStation->SetClientID("Station");
  FStation->SetBrokerHostName(FBroker.Host());
  FStation->SetBrokerPort(FBroker.Port());
  bool subscribed = false;
  FStation->OnConnectedStatusChanged = [&, topic](TMqttClient& c, bool connected, TMqttConnectionStatus) {
    if (connected) c.Subscribe(topic, TMqttQoS::qosAtMostOnce);
  };
  FStation->OnSubscriptionAcknowledged = [&](TMqttClient&, uint16_t, const TMqttSubscriptions&) { subscribed = true; };
  FStation->OnPublishReceived = [this](TMqttClient&, uint16_t, const std::string&, const TMqttBytes& payload) {
    FStationMessages.emplace_back(payload.begin(), payload.end());
  };
  FStation->Connect(true);
  ASSERT_TRUE(PumpUntil([&] { return subscribed; })) << "the station client did not subscribe";
  FStation->OnSubscriptionAcknowledged = nullptr;
}

std::string DisplayServiceTest::ShowMessage(const std::string& target, const std::string& params) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><msg><sender>POS1</sender><target>" + target +
         "</target><command>SHOW_MESSAGE</command><params>" + params + "</params></msg>";
}

std::vector<TDisplaySet> AllDisplaySets() {
  return {{prFrame, ""},  {prFrame, "1B 74 12"}, {prEpson, "1B 74 12"},
          {prCd5220, ""}, {prLogicControls, ""}, {prAedex, ""}};
}

void PrintTo(const TDisplaySet& set, std::ostream* out) {
  for (const char c : DisplayProtocolName(set.Protocol)) *out << (c == '-' ? '_' : c);
  if (!set.Init.empty()) *out << "_with_init";
}

std::string DisplaySetTest::SetSettings() const {
  return "DisplayProtocol=" + std::string(DisplayProtocolName(GetParam().Protocol)) +
         "\nDisplayInit=" + GetParam().Init + "\n";
}

std::string DisplaySetTest::Opening() const { return OpeningBytes(GetParam().Protocol) + FromHex(GetParam().Init); }

std::string DisplaySetTest::Update(const std::string& line1, const std::string& line2) const {
  return UpdateBytes(GetParam().Protocol, line1, line2, 20);
}

TDisplayFrame DisplaySetTest::Shown(const std::string& bytes) const {
  return ShownAfter(*MakeDisplayDecoder(GetParam().Protocol, 20, false), bytes);
}

}  // namespace kestova::test
