// Messages per second for the example packet: our parser (LoadXML alone and the whole packet
// parse), pugixml parsing the same text, and rendering a packet. Run:
//   bench_xml_packet --benchmark_min_time=2
// "items_per_second" is messages per second.
#include <benchmark/benchmark.h>

#include <pugixml.hpp>
#include <string>

#include "messaging/xml_packet.h"
#include "xml/xml_utils.h"

namespace {

using namespace kestova;

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
const std::string kBody =
    "<msg><sender>POS1</sender><target>Display1</target><command>SHOW_MESSAGE</command>"
    "<params>LINE1=Hello,LINE2=World</params></msg>";
const std::string kPacket = kDeclaration + kBody;

// A fresh document and LoadXML of the text a packet parse loads (declaration removed), then
// the reads a packet makes.
void BM_OursLoadXML(benchmark::State& state) {
  for (auto _ : state) {
    IXMLDocument doc = CreateXMLDoc();
    benchmark::DoNotOptimize(doc->LoadXML(kBody));
    IXMLNode msg = doc->SelectSingleNode("/msg");
    benchmark::DoNotOptimize(GetNodeTextStr(msg, "params"));
  }
  state.SetItemsProcessed(state.iterations());
}

// The whole packet parse: declaration removal, LoadXML, "/msg", four fields, parameter list.
void BM_OursPacketParse(benchmark::State& state) {
  for (auto _ : state) {
    TXmlPacket packet(kPacket);
    benchmark::DoNotOptimize(packet.Params().Count());
  }
  state.SetItemsProcessed(state.iterations());
}

// pugixml on the same text, with the same reads: a fresh document, the parse, msg and params.
void BM_PugixmlParse(benchmark::State& state) {
  for (auto _ : state) {
    pugi::xml_document doc;
    benchmark::DoNotOptimize(doc.load_buffer(kPacket.data(), kPacket.size()));
    pugi::xml_node msg = doc.child("msg");
    benchmark::DoNotOptimize(msg.child("params").text().get());
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_OursPacketRender(benchmark::State& state) {
  const TXmlPacket packet("pos", "POS1", "Display1", TCommand::SHOW_MESSAGE, "LINE1=Hello,LINE2=World");
  for (auto _ : state) benchmark::DoNotOptimize(packet.ToString());
  state.SetItemsProcessed(state.iterations());
}

void BM_PugixmlRender(benchmark::State& state) {
  pugi::xml_document doc;
  doc.load_buffer(kPacket.data(), kPacket.size(), pugi::parse_default | pugi::parse_declaration);
  struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
  };
  for (auto _ : state) {
    StringWriter writer;
    doc.save(writer, "", pugi::format_raw | pugi::format_no_declaration);
    benchmark::DoNotOptimize(writer.out);
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_OursLoadXML);
BENCHMARK(BM_OursPacketParse);
BENCHMARK(BM_PugixmlParse);
BENCHMARK(BM_OursPacketRender);
BENCHMARK(BM_PugixmlRender);
BENCHMARK_MAIN();
