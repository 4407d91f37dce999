#pragma once
// One packet of the point-of-sale message format: sender, target, command and parameters as a
// small XML document, plus the MQTT routing fields that are not part of the text.
//
// Threads: a packet is a plain value used by one thread at a time.
#include <string>
#include <string_view>

#include "messaging/command.h"
#include "mqtt/global.h"
#include "platform/string_list.h"

namespace kestova {

class TXmlPacket {
 public:
  // A packet built from fields; AParams is read as comma text. Built packets are released by
  // the sending routine (FreeOnSend).
  TXmlPacket(std::string_view ATopic, std::string_view ASenderStationId, std::string_view ATargetStationId,
             TCommand ACommand, std::string_view AParams);

  // A packet parsed from the text of a received message (UTF-8). Text that is not XML, or has
  // no top-level msg element, gives the initial state (REFRESH_REPORT, empty fields) without an
  // error. A msg element lacking sender, target, command or params raises the EXMLUtils of
  // GetNodeTextStr for the first one missing; "Invalid node %s" from the parser propagates too.
  explicit TXmlPacket(std::string_view inputString);

  const std::string& Sender() const noexcept { return FSender; }
  void SetSender(std::string value) { FSender = std::move(value); }
  const std::string& Target() const noexcept { return FTarget; }
  void SetTarget(std::string value) { FTarget = std::move(value); }
  const std::string& Topic() const noexcept { return FTopic; }
  void SetTopic(std::string value) { FTopic = std::move(value); }
  const std::string& TopicResponse() const noexcept { return FTopicResponse; }
  void SetTopicResponse(std::string value) { FTopicResponse = std::move(value); }
  TCommand Command() const noexcept { return FCommand; }
  void SetCommand(TCommand value) noexcept { FCommand = value; }
  // Strict delimiting is on: spaces are ordinary characters of an item.
  TStringList& Params() noexcept { return FParams; }
  const TStringList& Params() const noexcept { return FParams; }
  bool FreeOnSend() const noexcept { return FFreeOnSend; }
  void SetFreeOnSend(bool value) noexcept { FFreeOnSend = value; }
  TMqttQoS Qos() const noexcept { return FQos; }
  void SetQos(TMqttQoS value) noexcept { FQos = value; }

  // The published text: the UTF-8 declaration, then msg with sender, target, command and params,
  // on one line. A command outside the table is written as its decimal value.
  std::string ToString() const;

 private:
  TStringList FParams;
  TCommand FCommand = TCommand::REFRESH_REPORT;
  std::string FTarget;
  std::string FSender;
  std::string FTopic;
  bool FFreeOnSend = false;
  std::string FTopicResponse;
  TMqttQoS FQos = TMqttQoS::qosAtMostOnce;
};

}  // namespace kestova
