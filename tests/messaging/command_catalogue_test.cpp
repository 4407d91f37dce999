// The outbound catalogue through a real mosquitto: every operation's packet as a subscriber
// receives it (topic, text, quality of service), or nothing for the operations that publish
// nothing, in one table.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "messaging/mqtt_manager.h"
#include "mqtt/client.h"
#include "platform/main_thread.h"
#include "rfid/key_card.h"
#include "rfid/rfid_reader.h"
#include "tests/rfid/log_capture.h"
#include "tests/support/main_thread_pump.h"
#include "tests/support/mosquitto_broker.h"
#include "tests/support/temp_dir.h"

namespace kestova::testing {
namespace {

using Q = TMqttQoS;
constexpr std::chrono::milliseconds kGenerous{10000};
constexpr const char* kDefaultTopic = "pos/station";

struct TReceived {
  std::string Topic;
  std::string Payload;
  Q Qos = Q::qosAtMostOnce;
  bool operator==(const TReceived&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TReceived& r) {
  return out << r.Topic << " QoS " << static_cast<int>(r.Qos) << " " << r.Payload;
}

// The text of a packet the publisher (client "Pos7") sends.
std::string Packet(const std::string& target, const std::string& command, const std::string& params) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><msg><sender>Pos7</sender><target>" + target +
         "</target><command>" + command + "</command><params>" + params + "</params></msg>";
}

TReceived OnDefault(const std::string& command, const std::string& params, Q qos = Q::qosAtMostOnce) {
  return {kDefaultTopic, Packet("", command, params), qos};
}

class CommandCatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MainThread().BindToCurrentThread();
    MainThread().Reopen();
    FBroker.Start();
    Connect(FPublisher, "Pos7");
    Connect(FWatcher, "Watcher");
    FWatcher.OnPublishReceived = [this](TMqttClient&, uint16_t, const std::string& topic, const TMqttBytes& payload) {
      FReceived.push_back({topic, std::string(payload.begin(), payload.end())});
    };
    // Raised after OnPublishReceived for the same packet: it carries the quality of service.
    FWatcher.OnPacketReceived = [this](TMqttClient&, const TMqttPacketInfo& info) {
      if (info.PacketType == TMqttPacketType::mtPUBLISH && !FReceived.empty()) FReceived.back().Qos = info.PacketQos;
    };
    bool subscribed = false;
    FWatcher.OnSubscriptionAcknowledged = [&](TMqttClient&, uint16_t, const TMqttSubscriptions&) { subscribed = true; };
    FWatcher.Subscribe("#", Q::qosExactlyOnce);
    ASSERT_TRUE(test::PumpUntil([&] { return subscribed; }, kGenerous));
    FManager.DefaultTopic = kDefaultTopic;
    FManager.MasterClientId = "Master1";
  }

  void Connect(TMqttClient& client, const std::string& id) {
    client.SetBrokerHostName(FBroker.Host());
    client.SetBrokerPort(FBroker.Port());
    client.SetClientID(id);
    client.KeepAliveSettings().SetKeepConnectionAlive(false);
    client.Connect(true);
    ASSERT_TRUE(test::PumpUntil([&] { return client.IsConnected(); }, kGenerous)) << FBroker.Log();
  }

  // Run `operation`; what the watcher received from it (nothing when a marker published after
  // it arrives first).
  std::optional<TReceived> Publication(const std::function<void(TMqttManager&)>& operation) {
    const std::size_t before = FReceived.size();
    operation(FManager);
    if (!test::PumpUntil([&] { return FReceived.size() > before; }, kGenerous)) return std::nullopt;
    TReceived first = FReceived[before];
    if (first.Topic != "marker") {
      FManager.SendCustomMsg("marker", "end");
      EXPECT_TRUE(test::PumpUntil([&] { return FReceived.size() > before + 1; }, kGenerous));
      return first;
    }
    ADD_FAILURE() << "a marker arrived before any publication";
    return std::nullopt;
  }
  // Run `operation` and show that it published nothing: a marker sent after it is the next thing
  // the watcher receives.
  bool PublishesNothing(const std::function<void(TMqttManager&)>& operation) {
    const std::size_t before = FReceived.size();
    operation(FManager);
    FManager.SendCustomMsg("marker", "nothing before");
    EXPECT_TRUE(test::PumpUntil([&] { return FReceived.size() > before; }, kGenerous));
    return FReceived.size() == before + 1 && FReceived.back().Topic == "marker";
  }

  test::TMosquittoBroker FBroker;
  test::TTempDir FDir{"kestova-catalogue"};
  TLogCapture FLog;
  std::vector<TReceived> FReceived;
  TMqttClient FPublisher;
  TMqttClient FWatcher;
  TMqttManager FManager{&FPublisher};
};

struct TCatalogueCase {
  const char* Name;
  std::function<void(TMqttManager&)> Operation;
  std::optional<TReceived> Expected;  // none: publishes nothing
  std::vector<TLogEntry> Logged = {};
};

TEST_F(CommandCatalogueTest, EveryOperationPublishesItsPacket) {
  TKey hostelNine, seven, twelve;
  hostelNine.SetReaderId(3);
  hostelNine.SetHostelId(9);
  seven.SetReaderId(7);
  twelve.SetReaderId(12);
  TKeyCard card, emptyCard;
  card.SetKey("ABC");
  card.AccessList() = {&hostelNine, &seven, &twelve};
  TRfidReader four, nine;
  four.SetId(4);
  nine.SetId(9);
  const std::vector<TRfidReader*> readers = {&four, &nine};
  TStringList servers, keys;
  servers.Add("srv1=10.0.0.1");
  servers.Add("srv2");
  keys.Add("11");
  keys.Add("12");
  const std::string dbFile = FDir.WriteFile("db.ini", "\xEF\xBB\xBF[Db]\r\nName=shop a\r\n\r\nPort=5432\n");
  const std::string willText = Packet("", "MQTT_DISCONNECTED", "Reason=WILL");

  const TCatalogueCase cases[] = {
      {"SendCustomMsg", [](TMqttManager& m) { m.SendCustomMsg("raw/topic", "<as is>"); },
       TReceived{"raw/topic", "<as is>", Q::qosAtMostOnce}},
      {"SendRefreshReport",
       [](TMqttManager& m) { m.SendRefreshReport("r 1.fr3"); },
       OnDefault("REFRESH_REPORT", "FileName=r 1.fr3", Q::qosExactlyOnce),
       {{"VERBOSE", "SendRefreshReport: r 1.fr3"}}},
      {"SendRefreshLogo",
       [](TMqttManager& m) { m.SendRefreshLogo("logo.png"); },
       OnDefault("REFRESH_LOGO", "FileName=logo.png", Q::qosExactlyOnce),
       {{"VERBOSE", "SendRefreshLogo: logo.png"}}},
      {"SendDeleteFile",
       [](TMqttManager& m) { m.SendDeleteFile("old.txt"); },
       OnDefault("DELETE_FILE", "FileName=old.txt", Q::qosExactlyOnce),
       {{"VERBOSE", "SendDeleteFile: old.txt"}}},
      {"SendDownloadFile",
       [](TMqttManager& m) { m.SendDownloadFile("a,b.txt"); },
       OnDefault("DOWNLOAD_FILE", "&quot;FileName=a,b.txt&quot;"),
       {{"VERBOSE", "SendDownloadFile: a,b.txt"}}},
      {"SendUploadFile",
       [](TMqttManager& m) { m.SendUploadFile("up.txt"); },
       OnDefault("UPLOAD_FILE", "FileName=up.txt"),
       {{"VERBOSE", "SendUploadFile: up.txt"}}},
      {"SendResetReport", [](TMqttManager& m) { m.SendResetReport(); },
       OnDefault("RESET_REPORT", "", Q::qosExactlyOnce)},
      {"SendCallSupport on the default topic", [](TMqttManager& m) { m.SendCallSupport(smRdp, "", "X", true); },
       TReceived{kDefaultTopic, Packet("X", "KESTOVA_HELP", "Method=1,Force=-1")}},
      {"SendCallSupport on a topic", [](TMqttManager& m) { m.SendCallSupport(smTeamViewer, "help/desk", "Y", false); },
       TReceived{"help/desk", Packet("Y", "KESTOVA_HELP", "Method=0,Force=0")}},
      {"SendLogout", [](TMqttManager& m) { m.SendLogout(); }, OnDefault("LOGOUT", "")},
      {"SendShowMessage", [](TMqttManager& m) { m.SendShowMessage("Hi \"you\""); },
       OnDefault("SHOW_MESSAGE", "&quot;Message=Hi &quot;&quot;you&quot;&quot;&quot;")},
      {"SendPosEvent", [](TMqttManager& m) { m.SendPosEvent("ana"); }, OnDefault("POS_EVENT", "Username=ana")},
      {"SendServerListRequest", [](TMqttManager& m) { m.SendServerListRequest(); },
       OnDefault("KESTOVA_SERVERLIST_REQ", "")},
      {"SendServerListResp", [&](TMqttManager& m) { m.SendServerListResp(servers); },
       OnDefault("KESTOVA_SERVERLIST_RES", "srv1=10.0.0.1,srv2")},
      {"SendConnected without an environment",
       [](TMqttManager& m) { m.SendConnected("Mgr", "", "ana", "Kestova", "1.2"); },
       TReceived{"common/manager", Packet("Mgr", "MQTT_CONNECTED", "Username=ana,AppName=Kestova,AppVer=1.2")}},
      {"SendDisconnected", [](TMqttManager& m) { m.SendDisconnected(); },
       TReceived{"common/manager", Packet("Master1", "MQTT_DISCONNECTED", "")}},
      {"SendDisconnectedWill",
       [](TMqttManager& m) { m.SendDisconnectedWill(); },
       std::nullopt,
       {{"INFO", "MQTT: Sending WILL to topic common/manager: " + willText}}},
      {"SendInfoRequest", [](TMqttManager& m) { m.SendInfoRequest(); }, OnDefault("MQTT_SEND_INFO", "")},
      {"SendMaster", [](TMqttManager& m) { m.SendMaster(); }, OnDefault("MQTT_SET_MASTER", "")},
      {"SendAppUpdate", [](TMqttManager& m) { m.SendAppUpdate("Kestova", "2.0"); },
       OnDefault("KESTOVA_APPUPDATE", "AppName=Kestova,AppVer=2.0")},
      {"SetDb", [&](TMqttManager& m) { m.SetDb(dbFile); }, OnDefault("KESTOVA_SETDB", "[Db],Name=shop a,,Port=5432")},
      {"SendCode", [](TMqttManager& m) { m.SendCode("Kestova", "SI123", "a@b.c"); },
       OnDefault("KESTOVA_SENDCODE", "AppName=Kestova,TaxId=SI123,Email=a@b.c")},
      {"SendInventoryMode", [](TMqttManager& m) { m.SendInventoryMode(false); },
       OnDefault("INVENTORY_MODE", "IsInventory=0")},
      {"SendReloadSettings", [](TMqttManager& m) { m.SendReloadSettings(); }, OnDefault("RELOAD_SETTINGS", "")},
      {"SendFlushCache", [](TMqttManager& m) { m.SendFlushCache("1;2;3"); },
       OnDefault("FLUSH_CACHE", "CodeList=1;2;3")},
      {"SendSlaveCopyPartner", [](TMqttManager& m) { m.SendSlaveCopyPartner("Shop_A", 5); },
       TReceived{"vumo/shop_a", Packet("", "SLAVE_COPY_PARTNER", "Id=5"), Q::qosExactlyOnce}},
      {"SendSlaveCopyProduct", [](TMqttManager& m) { m.SendSlaveCopyProduct("Shop_A", 12); },
       TReceived{"vumo/shop_a", Packet("", "SLAVE_COPY_PRODUCT", "Id=12"), Q::qosExactlyOnce}},
      {"SendFursSendDoc", [](TMqttManager& m) { m.SendFursSendDoc(3); }, std::nullopt},
      {"SendFursActive", [](TMqttManager& m) { m.SendFursActive(true); }, OnDefault("FURS_ACTIVE", "Active=-1")},
      {"SendSms", [](TMqttManager& m) { m.SendSms("+386 40", "Hello"); },
       OnDefault("SEND_SMS", "Tel=+386 40,Message=Hello")},
      {"SendPing", [](TMqttManager& m) { m.SendPing(); }, OnDefault("MQTT_PING", "")},
      {"SendRfidRead", [](TMqttManager& m) { m.SendRfidRead("K1", 4, "ok"); },
       OnDefault("RFID_KEYDATA", "Key=K1,ReaderId=4,Message=ok")},
      {"RfidAddKey", [&](TMqttManager& m) { m.RfidAddKey(card); },
       OnDefault("RFID_ADDKEY", "Key=ABC,HostelId=9,ReaderId=3/7/12")},
      {"RfidAddKey without access entries", [&](TMqttManager& m) { m.RfidAddKey(emptyCard); }, std::nullopt},
      {"RfidDeleteKey", [&](TMqttManager& m) { m.RfidDeleteKey(5, 9, card); },
       OnDefault("RFID_DELETEKEY", "Key=ABC,ReaderId=5,HostelId=9")},
      {"RfidDeleteKeyHostel", [&](TMqttManager& m) { m.RfidDeleteKeyHostel("ABC", 9, &readers); },
       OnDefault("RFID_DELETEKEY", "Key=ABC,HostelId=9,ReaderId=4/9")},
      {"RfidDeleteKeyHostel without readers", [](TMqttManager& m) { m.RfidDeleteKeyHostel("ABC", 9, nullptr); },
       OnDefault("RFID_DELETEKEY", "Key=ABC,HostelId=9")},
      {"RfidOpenDoor", [](TMqttManager& m) { m.RfidOpenDoor(3, 7); },
       OnDefault("RFID_OPENDOOR", "ReaderId=3,HostelId=7")},
      {"RfidResetReader", [&](TMqttManager& m) { m.RfidResetReader(3, 7, keys); },
       OnDefault("RFID_RESETREADER", "&quot;KeyList=11,12&quot;,ReaderId=3,HostelId=7")},
      {"RfidReaderBeep", [](TMqttManager& m) { m.RfidReaderBeep(3, 7); },
       OnDefault("RFID_BEEP", "ReaderId=3,HostelId=7")},
      {"RfidReadersListReq", [](TMqttManager& m) { m.RfidReadersListReq(7); },
       OnDefault("RFID_READERS_REQ", "HostelId=7")},
      {"RfidKeyListReq", [](TMqttManager& m) { m.RfidKeyListReq(3, 7); },
       OnDefault("RFID_KEYLIST_REQ", "ReaderId=3,HostelId=7")},
      {"RfidHelloAns", [](TMqttManager& m) { m.RfidHelloAns("Srv", 7, 3, "Front", "ENTRANCE", "Main door"); },
       TReceived{kDefaultTopic, Packet("Srv", "RFID_HELLO_ANS",
                                       "HostelId=7,ReaderId=3,Name=Front,Type=ENTRANCE,Description=Main door")}},
  };
  for (const TCatalogueCase& c : cases) {
    SCOPED_TRACE(c.Name);
    FLog.Reset();
    if (c.Expected)
      EXPECT_EQ(Publication(c.Operation), c.Expected);
    else
      EXPECT_TRUE(PublishesNothing(c.Operation));
    EXPECT_TRUE(LoggedInOrder(FLog.Entries(), c.Logged));
  }
}

TEST_F(CommandCatalogueTest, SetDbOnAMissingFileRaisesAndSendsNothing) {
  EXPECT_TRUE(
      PublishesNothing([&](TMqttManager& m) { EXPECT_THROW(m.SetDb(FDir.File("missing.ini")), EFileOpenError); }));
}

}  // namespace
}  // namespace kestova::testing
