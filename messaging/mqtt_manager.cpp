#include "messaging/mqtt_manager.h"

#include "messaging/file_logger.h"
#include "mqtt/client.h"

namespace kestova {
namespace {

// Releases a packet flagged FreeOnSend when the sending call ends, on every path.
class ReleaseIfFlagged {
 public:
  explicit ReleaseIfFlagged(std::unique_ptr<TXmlPacket>& packet) : FPacket(packet) {}
  ~ReleaseIfFlagged() {
    if (FPacket && FPacket->FreeOnSend()) FPacket.reset();
  }
  ReleaseIfFlagged(const ReleaseIfFlagged&) = delete;
  ReleaseIfFlagged& operator=(const ReleaseIfFlagged&) = delete;

 private:
  std::unique_ptr<TXmlPacket>& FPacket;
};

}  // namespace

std::unique_ptr<TMqttManager> MqttManager;

TMqttManager::TMqttManager(TMqttClient* Mqtt) : MqttClient(Mqtt) {}

std::unique_ptr<TXmlPacket> TMqttManager::CreatePacket(TCommand command, const TStringList* params) const {
  auto packet = std::make_unique<TXmlPacket>(DefaultTopic, "", "", command, params ? params->CommaText() : "");
  packet->SetFreeOnSend(true);
  return packet;
}

void TMqttManager::SendMsg(std::unique_ptr<TXmlPacket>& packet) {
  ReleaseIfFlagged release(packet);
  if (!packet || MqttClient == nullptr) return;
  if (!MqttClient->IsConnected()) {
    Logger().Log(llWarning, "MQTT: Client offline, skipping...");
    return;
  }
  packet->SetSender(MqttClient->ClientID());
  if (packet->Topic().empty()) packet->SetTopic(DefaultTopic);
  const std::string text = packet->ToString();
  Logger().Log(llInfo, "MQTT: Sending to topic " + packet->Topic() + ": " + text);
  Publish(packet->Topic(), text, packet->Qos());
}

uint16_t TMqttManager::Publish(const std::string& ATopic, const std::string& APayload, TMqttQoS AQos) {
  const uint16_t id = MqttClient->Publish(ATopic, APayload, AQos, false);
  if (OnPublished) OnPublished(id, AQos);
  return id;
}

void TMqttManager::SendCustomMessage(std::unique_ptr<TXmlPacket>& packet) {
  ReleaseIfFlagged release(packet);
  if (!packet) return;
  Logger().Log(llVerbose, "SendCustomMessage: " + packet->ToString());
  SendMsg(packet);
}

void TMqttManager::SendWill(std::unique_ptr<TXmlPacket>& packet) {
  ReleaseIfFlagged release(packet);
  if (!packet || MqttClient == nullptr) return;
  packet->SetSender(MqttClient->ClientID());
  Logger().Log(llInfo, "MQTT: Sending WILL to topic " + packet->Topic() + ": " + packet->ToString());
}

}  // namespace kestova
