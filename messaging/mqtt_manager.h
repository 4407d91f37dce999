#pragma once
// The one place packets are published through: stamps the client's identifier as sender, fills
// in the default topic, renders and publishes the packet, records it in the file log, and
// releases packets that ask for it. It also carries the catalogue of ready-made outbound
// packets of the product family (messaging/command_catalogue.cpp).
//
// Threads: main thread only (the client's Publish just queues for its writer thread).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "messaging/command.h"
#include "messaging/xml_packet.h"
#include "platform/exception.h"
#include "platform/string_list.h"

namespace kestova {

class TMqttClient;
class TKeyCard;
class TRfidReader;

// How a support call reaches the station.
enum TSupportMode : uint8_t { smTeamViewer, smRdp };

class TMqttManager {
 public:
  // `Mqtt` is not owned; its owner keeps it alive longer than the manager.
  explicit TMqttManager(TMqttClient* Mqtt);

  std::string MasterClientId;
  TMqttClient* MqttClient = nullptr;
  std::string DefaultTopic;

  // Called after each publication handed to the client, with the identifier Publish returned
  // and the quality of service (for tools that wait until the broker has it). Unset: nothing.
  std::function<void(uint16_t packetId, TMqttQoS qos)> OnPublished;

  // A packet whose FreeOnSend is set belongs to the manager from this call on: it is released
  // (the pointer reset) before the call returns, also when publishing raises. A packet without
  // the flag stays with the caller.
  void SendCustomMessage(std::unique_ptr<TXmlPacket>& packet);

  // A new packet on DefaultTopic with empty sender and target, FreeOnSend set.
  std::unique_ptr<TXmlPacket> CreatePacket(TCommand command, const TStringList* params) const;
  void SendMsg(std::unique_ptr<TXmlPacket>& packet);
  // Records a last-will packet in the file log; nothing is handed to the client.
  void SendWill(std::unique_ptr<TXmlPacket>& packet);

  // --- The catalogue. Each builds one packet and hands it to SendMsg (so the client's errors
  // reach the caller), unless its comment says otherwise. Parameters set to an empty value are
  // left out; Booleans are "-1" or "0". ---

  // Txt as it is, on Topic, QoS 0, straight through the client: no packet, no log line.
  void SendCustomMsg(const std::string& Topic, const std::string& Txt);
  void SendRefreshReport(const std::string& FileName);
  void SendRefreshLogo(const std::string& FileName);
  void SendDeleteFile(const std::string& FileName);
  void SendDownloadFile(const std::string& FileName);
  void SendUploadFile(const std::string& FileName);
  void SendResetReport();
  // Addressed to ClientID, on Topic (the default topic when empty).
  void SendCallSupport(TSupportMode SupportMode, const std::string& Topic, const std::string& ClientID, bool Force);
  void SendLogout();
  void SendShowMessage(const std::string& MsgTxt);
  void SendPosEvent(const std::string& UserName);
  void SendServerListRequest();
  // The items of ServerList as they are; the caller keeps the list.
  void SendServerListResp(const TStringList& ServerList);
  void SendConnected(const std::string& TargetId, const std::string& Environment, const std::string& UserName,
                     const std::string& AppName, const std::string& AppVer);
  void SendDisconnected();
  // Only recorded in the file log (SendWill); nothing is published.
  void SendDisconnectedWill();
  void SendInfoRequest();
  void SendMaster();
  void SendAppUpdate(const std::string& AppName, const std::string& AppVer);
  // Every line of the file (UTF-8, a byte-order mark skipped) becomes one parameter item.
  // Raises EFileOpenError when the file cannot be read; nothing is sent then.
  void SetDb(const std::string& IniFileName);
  void SendCode(const std::string& AppName, const std::string& TaxId, const std::string& Email);
  void SendInventoryMode(bool IsInventory);
  void SendReloadSettings();
  void SendFlushCache(const std::string& CodeList);
  // On "vumo/" + DbName in lower case, QoS 2.
  void SendSlaveCopyPartner(const std::string& DbName, int32_t PartnerId);
  void SendSlaveCopyProduct(const std::string& DbName, int32_t ProductId);
  // Does nothing.
  void SendFursSendDoc(int32_t DocUniqId);
  void SendFursActive(bool IsActive);
  void SendSms(const std::string& Tel, const std::string& MsgTxt);
  void SendPing();
  void SendRfidRead(const std::string& Key, int32_t ReaderId, const std::string& MsgTxt);
  // Sends nothing when the card has no access entries.
  void RfidAddKey(TKeyCard& KeyCard);
  void RfidDeleteKey(int32_t ReaderId, int32_t HostelId, TKeyCard& Key);
  // Readers may be null: ReaderId is left out then (and for an empty list).
  void RfidDeleteKeyHostel(const std::string& Key, int32_t HostelId, const std::vector<TRfidReader*>* Readers);
  void RfidOpenDoor(int32_t ReaderId, int32_t HostelId);
  // KeyList's delimited text (its own delimiter and quote character); the caller keeps it.
  void RfidResetReader(int32_t ReaderId, int32_t HostelId, const TStringList& KeyList);
  void RfidReaderBeep(int32_t ReaderId, int32_t HostelId);
  void RfidReadersListReq(int32_t HostelId);
  void RfidKeyListReq(int32_t ReaderId, int32_t HostelId);
  void RfidHelloAns(const std::string& Target, int32_t HostelId, int32_t ReaderId, const std::string& ReaderName,
                    const std::string& ReaderType, const std::string& ReaderDescription);

 private:
  // Build a packet of `command` from `params` (none: no parameters), let `adjust` change its
  // fields, and send it.
  void Send(TCommand command, const TStringList* params, const std::function<void(TXmlPacket&)>& adjust = nullptr);
  uint16_t Publish(const std::string& ATopic, const std::string& APayload, TMqttQoS AQos);
};

// A file could not be opened or read.
class EFileOpenError : public Exception {
 public:
  using Exception::Exception;
};

// The process-wide manager, created by the display service's start.
extern std::unique_ptr<TMqttManager> MqttManager;

}  // namespace kestova
