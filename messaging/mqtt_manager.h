#pragma once
// The one place packets are published through: stamps the client's identifier as sender, fills
// in the default topic, renders and publishes the packet, records it in the file log, and
// releases packets that ask for it.
//
// Threads: main thread only (the client's Publish just queues for its writer thread).
#include <memory>
#include <string>

#include "messaging/command.h"
#include "messaging/xml_packet.h"
#include "platform/string_list.h"

namespace kestova {

class TMqttClient;

class TMqttManager {
 public:
  // `Mqtt` is not owned; its owner keeps it alive longer than the manager.
  explicit TMqttManager(TMqttClient* Mqtt);

  std::string MasterClientId;
  TMqttClient* MqttClient = nullptr;
  std::string DefaultTopic;

  // A packet whose FreeOnSend is set belongs to the manager from this call on: it is released
  // (the pointer reset) before the call returns, also when publishing raises. A packet without
  // the flag stays with the caller.
  void SendCustomMessage(std::unique_ptr<TXmlPacket>& packet);

  // A new packet on DefaultTopic with empty sender and target, FreeOnSend set.
  std::unique_ptr<TXmlPacket> CreatePacket(TCommand ACommand, const TStringList* AParams) const;
  void SendMsg(std::unique_ptr<TXmlPacket>& packet);
  // Records a last-will packet in the file log; nothing is handed to the client.
  void SendWill(std::unique_ptr<TXmlPacket>& packet);
};

// The process-wide manager, created by the display service's start.
extern std::unique_ptr<TMqttManager> MqttManager;

}  // namespace kestova
