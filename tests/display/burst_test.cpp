// A storm of mixed traffic: valid updates, enumeration requests, malformed and oversized packets
// and random bytes, published as fast as the broker takes them. The server must come out of it
// answering, with its serial line still written.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <random>
#include <thread>

#include "tests/display/service_fixture.h"
#include "tests/support/child_process.h"

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

TEST_F(DisplayServiceTest, SurvivesABurstOfMixedTrafficAndKeepsAnswering) {
  WriteSettings("", "Topics=pos/display1");
  StartService();
  ASSERT_TRUE(WaitForLog("Subscribing to \"pos/display1\": Accepted"));
  Deliver("pos/display1", ShowMessage("Display1", "LINE1=open"));
  ASSERT_TRUE(PumpUntil([&] { return FService->comDisplay->Active(); }));

  // The display reads everything it is sent, on its own thread.
  std::atomic<bool> stop{false};
  std::mutex shownLock;
  std::string shown;
  std::thread display([&] {
    char buf[4096];
    while (!stop) {
      pollfd pfd{FPty.Master(), POLLIN, 0};
      if (poll(&pfd, 1, 50) > 0) {
        const ssize_t n = read(FPty.Master(), buf, sizeof buf);
        std::lock_guard lock(shownLock);
        if (n > 0) shown.append(buf, static_cast<std::size_t>(n));
      }
    }
  });
  auto shownContains = [&](const std::string& text) {
    std::lock_guard lock(shownLock);
    return shown.find(text) != std::string::npos;
  };

  // mosquitto_pub -l sends every line of its input as one message, as fast as it can.
  constexpr int kMessages = 10000;
  std::mt19937 random(7);
  std::string lines;
  for (int i = 0; i < kMessages; ++i) {
    std::string payload = MixedPayload(i, random);
    for (char& c : payload)
      if (c == '\n' || c == '\0') c = ' ';
    lines += payload + "\n";
  }
  const std::string file = FDir.WriteFile("burst.txt", lines);
  TChildProcess publisher({"/bin/sh", "-c",
                           "/usr/bin/mosquitto_pub -h 127.0.0.1 -p " + std::to_string(FBroker.Port()) +
                               " -t pos/display1 -l < " + file});
  // Keep servicing the client while the burst arrives.
  ASSERT_TRUE(PumpUntil([&] { return publisher.WaitFor(0ms).has_value(); }, 120s));

  // Still answering: an update sent after the storm reaches the line once the backlog is done.
  Publish("pos/display1", ShowMessage("Display1", "LINE1=after the storm"));
  EXPECT_TRUE(PumpUntil([&] { return shownContains("after the storm"); }, 120s));
  stop = true;
  display.join();
  // Every message that is UTF-8 is handled (the random byte strings mostly are not).
  EXPECT_GE(CountLog("Packet reiceved"), kMessages * 7 / 8);
  EXPECT_TRUE(shownContains("Item ")) << "updates within the burst reach the line";
}

}  // namespace
}  // namespace kestova::test
