// The display service's handling of received messages: enumeration answers and display updates.
#include "display/com_display_output.h"
#include "display/display_service.h"
#include "display/pole_display_protocol.h"
#include "display/settings.h"
#include "display/text_shaping.h"
#include "messaging/mqtt_manager.h"
#include "messaging/xml_packet.h"
#include "platform/ascii_text.h"

namespace kestova {

void TKestovaDisplayService::mqttClientPublishReceived(TMqttClient& ASender, uint16_t APacketID,
                                                       const std::string& ATopic, const TMqttBytes& APayload) {
  (void)ASender;
  (void)APacketID;
  (void)ATopic;
  // Not caught here: a payload that is not UTF-8 goes back to the client, which drops it.
  ProcessMsg(DecodeUtf8(std::string_view(reinterpret_cast<const char*>(APayload.data()), APayload.size())));
}

void TKestovaDisplayService::AnswerDisplayEnumeration() {
  try {
    Log("Sending diplay info to VumoPOS...");
    const TSettings& s = *AppSettings;
    auto reply =
        std::make_unique<TXmlPacket>(s.MqttTopics->Strings(0), s.MqttClient, "", TCommand::ENUM_DISPLAYS_ANS, "");
    reply->Params().SetCommaText("DisplayId=" + s.MqttClient);
    if (!MqttManager) throw Exception("The MQTT manager was not created");
    MqttManager->SendCustomMessage(reply);
  } catch (const std::exception& e) {
    Log(std::string("(Enum displays) Error: ") + e.what());
  }
}

void TKestovaDisplayService::ShowLines(const ByteString& line1, const ByteString& line2) {
  if (AppSettings->DisplayMode == dpCom) {
    FComOutput->Show(line1, line2);
  } else if (AppSettings->DisplayMode == dpDll) {
    FUsbDisplay.WritePD(cmdClear);
    FUsbDisplay.WritePD(cmdL1);
    FUsbDisplay.WritePD(line1);
    FUsbDisplay.WritePD(cmdL2);
    FUsbDisplay.WritePD(line2);
  }
}

void TKestovaDisplayService::ProcessMsg(const std::string& MsgTxt) {
  try {
    Log("Packet reiceved");
    const TXmlPacket packet(MsgTxt);
    if (packet.Command() == TCommand::ENUM_DISPLAYS_REQ) {
      AnswerDisplayEnumeration();
      return;
    }
    // Only ASCII letters are folded; every other character of the target must match exactly.
    bool skip = !SameText(packet.Target(), AppSettings->MqttClient);
    if (packet.Command() != TCommand::SHOW_MESSAGE) {
      Log("Packet skipped - wrong command (not SHOW_MESSAGE or ENUM_DISPLAYS_REQ)");
      skip = true;
    }
    if (skip) return;

    const int32_t width = AppSettings->Width;
    ByteString line1 = PreProcess(UnicodeToWindows1250(packet.Params().Values("LINE1")), width);
    ByteString line2 = PreProcess(UnicodeToWindows1250(packet.Params().Values("LINE2")), width);
    if (packet.Params().Values("ALIGN1") == alRight) line1 = StrExactL(line1, " ", width - 1);
    if (packet.Params().Values("ALIGN2") == alRight) line2 = StrExactL(line2, " ", width - 1);
    ShowLines(line1, line2);
  } catch (const std::exception& e) {
    Log(std::string("(Mqtt OnMsg): ") + e.what());
  }
}

}  // namespace kestova
