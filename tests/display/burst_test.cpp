// Bursts published as fast as the broker takes them: a storm of mixed traffic (valid updates,
// enumeration requests, malformed and oversized packets, random bytes), and thousands of valid
// updates. The server must come out of them answering, with the newest text on the line.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <random>
#include <thread>

#include "tests/display/service_fixture.h"

namespace kestova::test {
namespace {

using namespace std::chrono_literals;

std::string MixedPayload(int i, std::mt19937& random) {
  switch (i % 8) {
    case 0: return DisplayServiceTest::ShowMessage("Display1", "LINE1=Item " + std::to_string(i) + ",LINE2=1,50");
    case 1: return "<msg><sender>P</sender><target/><command>ENUM_DISPLAYS_REQ</command><params/></msg>";
    case 2: return "<msg><sender>P<target>unclosed";
    case 3: return "<!-x not a comment";
    case 4: return std::string(64 * 1024, 'A' + static_cast<char>(i % 26));  // oversized text
    case 5: {
      std::string nested;
      for (int d = 0; d < 5000; ++d) nested += "<a>";
      return nested;
    }
    case 6: return "{\"json\": true, \"n\": " + std::to_string(i) + "}";
    default: {
      std::string bytes(1 + random() % 300, '\0');
      for (char& c : bytes) c = static_cast<char>(random() % 256);
      return bytes;
    }
  }
}

// The display: reads everything it is sent, as fast as it comes, on its own thread.
class TReadingDisplay {
 public:
  explicit TReadingDisplay(int master) : FMaster(master), FThread([this] { Run(); }) {}
  ~TReadingDisplay() {
    FStop = true;
    FThread.join();
  }
  bool Shown(const std::string& text) {
    std::lock_guard lock(FLock);
    return FShown.find(text) != std::string::npos;
  }

 private:
  void Run() {
    char buf[4096];
    while (!FStop) {
      pollfd pfd{FMaster, POLLIN, 0};
      if (poll(&pfd, 1, 50) <= 0) continue;
      const ssize_t n = read(FMaster, buf, sizeof buf);
      std::lock_guard lock(FLock);
      if (n > 0) FShown.append(buf, static_cast<std::size_t>(n));
    }
  }

  const int FMaster;
  std::atomic<bool> FStop{false};
  std::mutex FLock;
  std::string FShown;
  std::thread FThread;
};

TEST_F(DisplayServiceTest, SurvivesABurstOfMixedTrafficAndKeepsAnswering) {
  WriteSettings("", "Topics=pos/display1");
  StartService();
  ASSERT_TRUE(WaitForLog("Subscribing to \"pos/display1\": Accepted"));
  Deliver("pos/display1", ShowMessage("Display1", "LINE1=open"));
  ASSERT_TRUE(PumpUntil([&] { return FService->comDisplay->Active(); }));
  TReadingDisplay display(FPty.Master());

  constexpr int kMessages = 10000;
  std::mt19937 random(7);
  std::string lines;
  for (int i = 0; i < kMessages; ++i) {
    std::string payload = MixedPayload(i, random);
    for (char& c : payload)
      if (c == '\n' || c == '\0') c = ' ';
    lines += payload + "\n";
  }
  PublishLines("pos/display1", FDir.WriteFile("burst.txt", lines));

  // Still answering: an update sent after the storm reaches the line once the backlog is done.
  Publish("pos/display1", ShowMessage("Display1", "LINE1=after the storm"));
  EXPECT_TRUE(PumpUntil([&] { return display.Shown("after the storm"); }, 120s));
  // Every message that is UTF-8 is handled (the random byte strings mostly are not).
  EXPECT_GE(CountLog("Packet reiceved"), kMessages * 7 / 8);
  EXPECT_TRUE(
      display.Shown("\x0C"
                    "open\x0A\x0D"))
      << "the first message is shown";
  EXPECT_TRUE(display.Shown("Item ")) << "updates within the burst reach the line";
}

// Thousands of valid updates at full speed, with enumeration requests among them: the server
// answers every request, and an update sent after the burst is on the display at once, not
// after the stale ones.
TEST_F(DisplayServiceTest, AfterABurstTheNewestTextShowsAtOnce) {
  WriteSettings("", "Topics=pos/displays,pos/display1");
  StartService();
  ASSERT_TRUE(WaitForLog("Subscribing to \"pos/display1\": Accepted"));
  ConnectStation("pos/displays");
  TReadingDisplay display(FPty.Master());

  constexpr int kMessages = 5000;
  constexpr int kEnumEvery = 250;
  std::string lines;
  for (int i = 0; i < kMessages; ++i) {
    lines +=
        i % kEnumEvery == 0
            ? "<msg><sender>P</sender><target/><command>ENUM_DISPLAYS_REQ</command><params/></msg>\n"
            : ShowMessage("Display1", "LINE1=Item " + std::to_string(i) + ",LINE2=Total " + std::to_string(i)) + "\n";
  }
  PublishLines("pos/display1", FDir.WriteFile("burst.txt", lines));
  ASSERT_TRUE(PumpUntil([&] { return CountLog("Packet reiceved") >= kMessages; }, 120s)) << "the burst was handled";
  EXPECT_TRUE(PumpUntil([&] { return FStationMessages.size() >= kMessages / kEnumEvery; }))
      << "every enumeration request was answered";

  // No longer than a write may wait for room in the queue.
  const auto bound = std::chrono::milliseconds(FService->comDisplay->Buffers().WriteTimeout());
  Publish("pos/display1", ShowMessage("Display1", "LINE1=the newest"));
  EXPECT_TRUE(PumpUntil(
      [&] {
        return display.Shown(
            "\x0C"
            "the newest\x0A\x0D");
      },
      bound));
  EXPECT_TRUE(display.Shown("Item ")) << "updates within the burst reach the line";
  EXPECT_EQ(CountLog("(Mqtt OnMsg): Output buffer is full. Please check comm status."), 0);
}

}  // namespace
}  // namespace kestova::test
