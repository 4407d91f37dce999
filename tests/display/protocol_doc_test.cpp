// docs/PROTOCOL.md as a point-of-sale developer reads it: every packet example in it goes through
// a real broker to a real server, and the display (or the answer) must be what the text shows.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "display/settings.h"
#include "messaging/xml_packet.h"
#include "tests/display/service_fixture.h"
#include "tests/support/main_thread_pump.h"
#include "tools/virtual-display/display_box.h"
#include "tools/virtual-display/frame_decoder.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;

struct TBlock {
  std::string Info;  // the fence's info string: xml, text, ini, sh
  std::string Text;  // the lines inside, each with its line feed
};

std::vector<TBlock> FencedBlocks(const std::string& path) {
  std::ifstream in(path);
  std::vector<TBlock> blocks;
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("```", 0) == 0) {
      if (!inside) blocks.push_back({line.substr(3), ""});
      inside = !inside;
    } else if (inside) {
      blocks.back().Text += line + "\n";
    }
  }
  return blocks;
}

// The doc's settings merged with where this test's broker and display are.
std::string SettingsFile(const std::string& docIni, const std::string& comPort, const TMosquittoBroker& broker) {
  std::string settings, mqtt, *section = nullptr;
  std::istringstream lines(docIni);
  for (std::string line; std::getline(lines, line);) {
    if (line == "[Settings]")
      section = &settings;
    else if (line == "[Mqtt]")
      section = &mqtt;
    else if (section != nullptr)
      *section += line + "\n";
  }
  return "[Settings]\n" + settings + "ComPort=" + comPort + "\n[Mqtt]\n" + mqtt + "Broker=" + broker.Host() +
         "\nPort=" + std::to_string(broker.Port()) + "\n";
}

class ProtocolDocTest : public DisplayServiceTest {
 protected:
  // The next frame the server writes. No byte ends a frame: it is complete once its line 2 has
  // begun and the line has been quiet for a while (the server writes a frame in one go).
  std::optional<TDisplayFrame> NextFrame() {
    for (;;) {
      const std::string byte = FPty.ReadMaster(1, FDecoder.Pending() ? kQuiet : 10s);
      if (byte.empty()) return FDecoder.Flush();
      FDecoder.Feed(byte);
    }
  }

  static constexpr std::chrono::milliseconds kQuiet{500};
  TFrameDecoder FDecoder;
};

TEST_F(ProtocolDocTest, EveryExampleDoesWhatTheDocumentSays) {
  const std::vector<TBlock> blocks = FencedBlocks(KESTOVA_SOURCE_DIR "/docs/PROTOCOL.md");
  const auto ini = std::find_if(blocks.begin(), blocks.end(), [](const TBlock& b) { return b.Info == "ini"; });
  ASSERT_NE(ini, blocks.end());
  std::ofstream(FSettingsFile) << SettingsFile(ini->Text, FPty.SlavePath(), FBroker);
  StartService();
  ASSERT_TRUE(WaitForLog("Subscribing to \"pos/displays\": Accepted")) << ::testing::PrintToString(LogLines());
  const TSettings& settings = *AppSettings;
  const std::string ownTopic = settings.MqttTopics->Strings(0);
  const std::string sharedTopic = settings.MqttTopics->Strings(1);
  ConnectStation(ownTopic);

  int shown = 0, answered = 0;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    if (blocks[i].Info != "xml") continue;
    const std::string packet = blocks[i].Text.substr(0, blocks[i].Text.size() - 1);
    const TCommand command = TXmlPacket(packet).Command();
    if (command == TCommand::SHOW_MESSAGE) {
      ASSERT_TRUE(i + 1 < blocks.size() && blocks[i + 1].Info == "text") << "no display after " << packet;
      Publish(sharedTopic, packet);
      const auto frame = NextFrame();
      ASSERT_TRUE(frame) << "nothing shown for " << packet;
      EXPECT_EQ(DrawBox(*frame, static_cast<std::size_t>(settings.Width)), blocks[i + 1].Text) << packet;
      ++shown;
    } else if (command == TCommand::ENUM_DISPLAYS_REQ) {
      ASSERT_TRUE(i + 1 < blocks.size() && blocks[i + 1].Info == "xml") << "no answer after " << packet;
      const std::string answer = blocks[i + 1].Text.substr(0, blocks[i + 1].Text.size() - 1);
      FStationMessages.clear();
      Publish(sharedTopic, packet);
      ASSERT_TRUE(PumpUntil([&] {
        return std::find(FStationMessages.begin(), FStationMessages.end(), answer) != FStationMessages.end();
      })) << "expected "
          << answer << ", got " << ::testing::PrintToString(FStationMessages);
      ++answered;
      ++i;  // the answer is no example to send
    } else {
      ADD_FAILURE() << "an example the display does not act on: " << packet;
    }
  }
  EXPECT_GE(shown, 5);
  EXPECT_EQ(answered, 1);
}

}  // namespace
}  // namespace kestova::test
