#include "messaging/xml_packet.h"

#include "xml/xml_utils.h"

namespace kestova {
namespace {

constexpr std::string_view kDeclarationTarget = "xml";
constexpr std::string_view kDeclarationData = "version=\"1.0\" encoding=\"UTF-8\"";
// The declaration exactly as packets are written; the parser would switch to the named
// encoding and fail, so it is cut out before loading.
constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

}  // namespace

TXmlPacket::TXmlPacket(std::string_view ATopic, std::string_view ASenderStationId, std::string_view ATargetStationId,
                       TCommand ACommand, std::string_view AParams)
    : FCommand(ACommand),
      FTarget(ATargetStationId),
      FSender(ASenderStationId),
      FTopic(ATopic),
      FFreeOnSend(true),
      FTopicResponse(ATopic) {
  // Nothing here can fail but memory: building a packet never raises an error of its own.
  FParams.SetStrictDelimiter(true);
  FParams.SetCommaText(AParams);
}

TXmlPacket::TXmlPacket(std::string_view inputString) {
  FParams.SetStrictDelimiter(true);
  IXMLDocument doc = CreateXMLDoc();
  // Packets begin with the declaration, so cutting it off the front needs no copy.
  std::string_view text = inputString;
  std::string joined;
  if (const std::size_t at = text.find(kDeclaration); at == 0) {
    text.remove_prefix(kDeclaration.size());
  } else if (at != std::string_view::npos) {
    joined.append(text.substr(0, at)).append(text.substr(at + kDeclaration.size()));
    text = joined;
  }
  doc->LoadXML(text);  // a failed load keeps what was read: a message cut after params still counts
  const IXMLNode msg = doc->SelectSingleNode("/msg");
  if (!msg) return;
  FSender = GetNodeTextStr(msg, "sender");
  FTarget = GetNodeTextStr(msg, "target");
  FCommand = CommandByName(GetNodeTextStr(msg, "command"));
  FParams.SetDelimitedText(GetNodeTextStr(msg, "params"));
  FQos = TMqttQoS::qosAtMostOnce;
}

std::string TXmlPacket::ToString() const {
  IXMLDocument doc = CreateXMLDoc();
  doc->AppendChild(doc->CreateProcessingInstruction(kDeclarationTarget, kDeclarationData));
  const IXMLNode msg = AppendNode(doc, "msg");
  SetNodeTextStr(msg, "sender", FSender);
  SetNodeTextStr(msg, "target", FTarget);
  SetNodeTextStr(msg, "command", CommandText(FCommand));
  SetNodeTextStr(msg, "params", FParams.CommaText());
  return doc->XML();
}

}  // namespace kestova
