// The catalogue of ready-made outbound packets of TMqttManager. Each operation fills a
// parameter list (name=value items in the order they are set; an empty value leaves the item
// out), builds the packet on the default topic, adjusts its routing and hands it to SendMsg.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "messaging/file_logger.h"
#include "messaging/mqtt_manager.h"
#include "mqtt/client.h"
#include "platform/ascii_text.h"
#include "rfid/key_card.h"
#include "rfid/rfid_reader.h"

namespace kestova {
namespace {

constexpr const char* kManagerTopic = "common/manager";

std::string Bool(bool value) { return value ? "-1" : "0"; }

// name=value items in the order given.
TStringList Params(std::initializer_list<std::pair<const char*, std::string>> items) {
  TStringList list;
  for (const auto& [name, value] : items) list.SetValues(name, value);
  return list;
}

// The parameters of a file command, after the command's log line.
TStringList FileParams(const char* operation, const std::string& fileName) {
  Logger().Log(llVerbose, std::string(operation) + ": " + fileName);
  return Params({{"FileName", fileName}});
}

// Reports, logos and file deletions must arrive exactly once.
void ExactlyOnce(TXmlPacket& packet) { packet.SetQos(TMqttQoS::qosExactlyOnce); }

// Presence notices go to the managers' topic at QoS 0.
std::function<void(TXmlPacket&)> ToManagers(const std::string& target) {
  return [target](TXmlPacket& packet) {
    packet.SetTarget(target);
    packet.SetTopic(kManagerTopic);
    packet.SetQos(TMqttQoS::qosAtMostOnce);
  };
}

// Copies between databases go to the database's own topic, exactly once.
std::function<void(TXmlPacket&)> ToDatabase(const std::string& dbName) {
  return [topic = AsciiLowerCase("vumo/" + dbName)](TXmlPacket& packet) {
    packet.SetTopic(topic);
    packet.SetQos(TMqttQoS::qosExactlyOnce);
  };
}

TStringList ReadLines(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw EFileOpenError(Format("Cannot open file \"%s\". %s", fileName, std::strerror(errno)));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw EFileOpenError(Format("Cannot read file \"%s\"", fileName));
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  TStringList lines;
  lines.SetText(text);
  return lines;
}

}  // namespace

void TMqttManager::Send(TCommand command, const TStringList* params, const std::function<void(TXmlPacket&)>& adjust) {
  std::unique_ptr<TXmlPacket> packet = CreatePacket(command, params);
  if (adjust) adjust(*packet);
  SendMsg(packet);
}

void TMqttManager::SendCustomMsg(const std::string& Topic, const std::string& Txt) {
  if (MqttClient == nullptr) return;
  Publish(Topic, Txt, TMqttQoS::qosAtMostOnce);
}

void TMqttManager::SendRefreshReport(const std::string& FileName) {
  const TStringList params = FileParams("SendRefreshReport", FileName);
  Send(TCommand::REFRESH_REPORT, &params, ExactlyOnce);
}

void TMqttManager::SendRefreshLogo(const std::string& FileName) {
  const TStringList params = FileParams("SendRefreshLogo", FileName);
  Send(TCommand::REFRESH_LOGO, &params, ExactlyOnce);
}

void TMqttManager::SendDeleteFile(const std::string& FileName) {
  const TStringList params = FileParams("SendDeleteFile", FileName);
  Send(TCommand::DELETE_FILE, &params, ExactlyOnce);
}

void TMqttManager::SendDownloadFile(const std::string& FileName) {
  const TStringList params = FileParams("SendDownloadFile", FileName);
  Send(TCommand::DOWNLOAD_FILE, &params);
}

void TMqttManager::SendUploadFile(const std::string& FileName) {
  const TStringList params = FileParams("SendUploadFile", FileName);
  Send(TCommand::UPLOAD_FILE, &params);
}

void TMqttManager::SendResetReport() { Send(TCommand::RESET_REPORT, nullptr, ExactlyOnce); }

void TMqttManager::SendCallSupport(TSupportMode SupportMode, const std::string& Topic, const std::string& ClientID,
                                   bool Force) {
  const TStringList params =
      Params({{"Method", std::to_string(static_cast<int>(SupportMode))}, {"Force", Bool(Force)}});
  Send(TCommand::KESTOVA_HELP, &params, [&](TXmlPacket& packet) {
    packet.SetTarget(ClientID);
    packet.SetTopic(Topic);
  });
}

void TMqttManager::SendLogout() { Send(TCommand::LOGOUT, nullptr); }

void TMqttManager::SendShowMessage(const std::string& MsgTxt) {
  const TStringList params = Params({{"Message", MsgTxt}});
  Send(TCommand::SHOW_MESSAGE, &params);
}

void TMqttManager::SendPosEvent(const std::string& UserName) {
  const TStringList params = Params({{"Username", UserName}});
  Send(TCommand::POS_EVENT, &params);
}

void TMqttManager::SendServerListRequest() { Send(TCommand::KESTOVA_SERVERLIST_REQ, nullptr); }

void TMqttManager::SendServerListResp(const TStringList& ServerList) {
  Send(TCommand::KESTOVA_SERVERLIST_RES, &ServerList);
}

void TMqttManager::SendConnected(const std::string& TargetId, const std::string& Environment,
                                 const std::string& UserName, const std::string& AppName, const std::string& AppVer) {
  const TStringList params =
      Params({{"Environment", Environment}, {"Username", UserName}, {"AppName", AppName}, {"AppVer", AppVer}});
  Send(TCommand::MQTT_CONNECTED, &params, ToManagers(TargetId));
}

void TMqttManager::SendDisconnected() { Send(TCommand::MQTT_DISCONNECTED, nullptr, ToManagers(MasterClientId)); }

void TMqttManager::SendDisconnectedWill() {
  std::unique_ptr<TXmlPacket> packet = CreatePacket(TCommand::MQTT_DISCONNECTED, nullptr);
  packet->Params().SetValues("Reason", "WILL");
  if (MqttClient != nullptr) packet->SetSender(MqttClient->ClientID());
  packet->SetTopic(kManagerTopic);
  packet->SetQos(TMqttQoS::qosAtMostOnce);
  SendWill(packet);
}

void TMqttManager::SendInfoRequest() {
  const TStringList params;
  Send(TCommand::MQTT_SEND_INFO, &params);
}

void TMqttManager::SendMaster() {
  const TStringList params;
  Send(TCommand::MQTT_SET_MASTER, &params);
}

void TMqttManager::SendAppUpdate(const std::string& AppName, const std::string& AppVer) {
  const TStringList params = Params({{"AppName", AppName}, {"AppVer", AppVer}});
  Send(TCommand::KESTOVA_APPUPDATE, &params);
}

void TMqttManager::SetDb(const std::string& IniFileName) {
  const TStringList params = ReadLines(IniFileName);
  Send(TCommand::KESTOVA_SETDB, &params);
}

void TMqttManager::SendCode(const std::string& AppName, const std::string& TaxId, const std::string& Email) {
  const TStringList params = Params({{"AppName", AppName}, {"TaxId", TaxId}, {"Email", Email}});
  Send(TCommand::KESTOVA_SENDCODE, &params);
}

void TMqttManager::SendInventoryMode(bool IsInventory) {
  const TStringList params = Params({{"IsInventory", Bool(IsInventory)}});
  Send(TCommand::INVENTORY_MODE, &params);
}

void TMqttManager::SendReloadSettings() { Send(TCommand::RELOAD_SETTINGS, nullptr); }

void TMqttManager::SendFlushCache(const std::string& CodeList) {
  const TStringList params = Params({{"CodeList", CodeList}});
  Send(TCommand::FLUSH_CACHE, &params);
}

void TMqttManager::SendSlaveCopyPartner(const std::string& DbName, int32_t PartnerId) {
  const TStringList params = Params({{"Id", std::to_string(PartnerId)}});
  Send(TCommand::SLAVE_COPY_PARTNER, &params, ToDatabase(DbName));
}

void TMqttManager::SendSlaveCopyProduct(const std::string& DbName, int32_t ProductId) {
  const TStringList params = Params({{"Id", std::to_string(ProductId)}});
  Send(TCommand::SLAVE_COPY_PRODUCT, &params, ToDatabase(DbName));
}

void TMqttManager::SendFursSendDoc(int32_t) {}

void TMqttManager::SendFursActive(bool IsActive) {
  const TStringList params = Params({{"Active", Bool(IsActive)}});
  Send(TCommand::FURS_ACTIVE, &params);
}

void TMqttManager::SendSms(const std::string& Tel, const std::string& MsgTxt) {
  const TStringList params = Params({{"Tel", Tel}, {"Message", MsgTxt}});
  Send(TCommand::SEND_SMS, &params);
}

void TMqttManager::SendPing() {
  const TStringList params;
  // The target is copied from the sender before SendMsg stamps it, so it goes out empty.
  Send(TCommand::MQTT_PING, &params, [](TXmlPacket& packet) { packet.SetTarget(packet.Sender()); });
}

void TMqttManager::SendRfidRead(const std::string& Key, int32_t ReaderId, const std::string& MsgTxt) {
  const TStringList params = Params({{"Key", Key}, {"ReaderId", std::to_string(ReaderId)}, {"Message", MsgTxt}});
  Send(TCommand::RFID_KEYDATA, &params);
}

void TMqttManager::RfidAddKey(TKeyCard& KeyCard) {
  if (KeyCard.AccessList().empty() || KeyCard.AccessList().front() == nullptr) return;
  if (KeyCard.Readers().DelimitedText().empty()) return;
  const TStringList params = Params({{"Key", KeyCard.Key()},
                                     {"HostelId", std::to_string(KeyCard.AccessList().front()->HostelId())},
                                     {"ReaderId", KeyCard.Readers().DelimitedText()}});
  Send(TCommand::RFID_ADDKEY, &params);
}

void TMqttManager::RfidDeleteKey(int32_t ReaderId, int32_t HostelId, TKeyCard& Key) {
  const TStringList params =
      Params({{"Key", Key.Key()}, {"ReaderId", std::to_string(ReaderId)}, {"HostelId", std::to_string(HostelId)}});
  Send(TCommand::RFID_DELETEKEY, &params);
}

void TMqttManager::RfidDeleteKeyHostel(const std::string& Key, int32_t HostelId,
                                       const std::vector<TRfidReader*>* Readers) {
  TStringList params = Params({{"Key", Key}, {"HostelId", std::to_string(HostelId)}});
  if (Readers != nullptr) {
    TStringList ids;
    ids.SetDelimiter('/');
    for (const TRfidReader* reader : *Readers)
      if (reader != nullptr) ids.Add(std::to_string(reader->Id()));
    params.SetValues("ReaderId", ids.DelimitedText());
  }
  Send(TCommand::RFID_DELETEKEY, &params);
}

void TMqttManager::RfidOpenDoor(int32_t ReaderId, int32_t HostelId) {
  const TStringList params = Params({{"ReaderId", std::to_string(ReaderId)}, {"HostelId", std::to_string(HostelId)}});
  Send(TCommand::RFID_OPENDOOR, &params);
}

void TMqttManager::RfidResetReader(int32_t ReaderId, int32_t HostelId, const TStringList& KeyList) {
  const TStringList params = Params({{"KeyList", KeyList.DelimitedText()},
                                     {"ReaderId", std::to_string(ReaderId)},
                                     {"HostelId", std::to_string(HostelId)}});
  Send(TCommand::RFID_RESETREADER, &params);
}

void TMqttManager::RfidReaderBeep(int32_t ReaderId, int32_t HostelId) {
  const TStringList params = Params({{"ReaderId", std::to_string(ReaderId)}, {"HostelId", std::to_string(HostelId)}});
  Send(TCommand::RFID_BEEP, &params);
}

void TMqttManager::RfidReadersListReq(int32_t HostelId) {
  const TStringList params = Params({{"HostelId", std::to_string(HostelId)}});
  Send(TCommand::RFID_READERS_REQ, &params);
}

void TMqttManager::RfidKeyListReq(int32_t ReaderId, int32_t HostelId) {
  const TStringList params = Params({{"ReaderId", std::to_string(ReaderId)}, {"HostelId", std::to_string(HostelId)}});
  Send(TCommand::RFID_KEYLIST_REQ, &params);
}

void TMqttManager::RfidHelloAns(const std::string& Target, int32_t HostelId, int32_t ReaderId,
                                const std::string& ReaderName, const std::string& ReaderType,
                                const std::string& ReaderDescription) {
  const TStringList params = Params({{"HostelId", std::to_string(HostelId)},
                                     {"ReaderId", std::to_string(ReaderId)},
                                     {"Name", ReaderName},
                                     {"Type", ReaderType},
                                     {"Description", ReaderDescription}});
  Send(TCommand::RFID_HELLO_ANS, &params, [&](TXmlPacket& packet) { packet.SetTarget(Target); });
}

}  // namespace kestova
