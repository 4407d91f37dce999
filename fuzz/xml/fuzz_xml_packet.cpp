// Arbitrary text through LoadXML, rendering and path selection, and through the packet: a
// packet that parses must render to a text that parses back to the same packet, fixed point.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "messaging/xml_packet.h"
#include "platform/exception.h"
#include "platform/text_codec.h"
#include "xml/xml_utils.h"

namespace {

using namespace kestova;

[[noreturn]] void Broken(const char* what, const std::string& detail) {
  std::fprintf(stderr, "invariant broken: %s\n%s\n", what, detail.c_str());
  std::abort();
}

void Document(std::string_view input) {
  IXMLDocument doc = CreateXMLDoc();
  try {
    doc->LoadXML(input);
  } catch (const Exception&) {
    // "Invalid node %s" reaches the caller by design; what was read stays usable.
  }
  const std::string rendered = doc->XML();
  for (const char* pattern : {"/msg", "//*", "//@*", "/*/*[2]", "//*[@id='1']", "*/.", "//sender[1]"})
    doc->SelectNodes(pattern);
  std::string text;
  GetNodeText(doc, "sender", text);
  IXMLDocument again = CreateXMLDoc();
  try {
    again->LoadXML(rendered);
  } catch (const Exception&) {
  }
}

// Short inputs double as path patterns on a small fixed document (depth 3, so even a pattern
// of nothing but descendant steps stays small).
void Pattern(std::string_view input) {
  if (input.size() > 64) return;
  IXMLDocument doc = CreateXMLDoc();
  doc->LoadXML("<msg a='1'><sender id='1'>A</sender><target><sender id='2'/></target><sender id='3'/></msg>");
  try {
    doc->SelectNodes(input);
    if (IXMLNode msg = doc->DocumentElement()) msg->SelectNodes(input);
  } catch (const EXMLXPath&) {
  }
}

void Packet(std::string_view input) {
  std::string text;
  TXmlPacket first("", "", "", TCommand::REFRESH_REPORT, "");
  try {
    first = TXmlPacket(input);
  } catch (const Exception&) {
    return;  // a missing field or "Invalid node": the packet is not created
  }
  text = first.ToString();
  try {
    const TXmlPacket back(text);
    if (back.Sender() != first.Sender() || back.Target() != first.Target() || back.Command() != first.Command() ||
        back.Params().Items() != first.Params().Items())
      Broken("packet fields changed through their own text", text);
    if (back.ToString() != text) Broken("packet text is no fixed point", text);
  } catch (const Exception& e) {
    Broken(e.what(), text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // Messages are decoded as UTF-8 before anything parses them.
  if (!IsValidUtf8(input)) return 0;
  Document(input);
  Pattern(input);
  Packet(input);
  return 0;
}
