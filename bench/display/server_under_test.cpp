#include "bench/display/server_under_test.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

namespace kestova::bench {

using namespace std::chrono;

namespace {

test::TBrokerOptions KeepEverything() {
  test::TBrokerOptions options;
  options.MaxQueuedMessages = 0;
  return options;
}

}  // namespace

TRawPty::TRawPty() {
  int master = -1, slave = -1;
  char name[64] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  Master.Reset(master);
  Slave.Reset(slave);
  Path = name;
  termios raw{};
  tcgetattr(master, &raw);
  cfmakeraw(&raw);
  tcsetattr(master, TCSANOW, &raw);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
}

int CountText(const std::string& path, const std::string& text) {
  const std::string all = test::ReadWholeFile(path);
  int n = 0;
  for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size())) ++n;
  return n;
}

bool WaitForText(const std::string& path, const std::string& text, milliseconds timeout, int times) {
  const auto end = steady_clock::now() + timeout;
  while (steady_clock::now() < end) {
    if (CountText(path, text) >= times) return true;
    std::this_thread::sleep_for(1ms);
  }
  return false;
}

TServerUnderTest::TServerUnderTest() : FBroker(KeepEverything()) {
  FBroker.Start();
  mosquitto_lib_init();
}

TServerUnderTest::~TServerUnderTest() {
  if (FStation) {
    mosquitto_loop_stop(FStation, true);
    mosquitto_disconnect(FStation);
    mosquitto_destroy(FStation);
  }
  mosquitto_lib_cleanup();
  if (FServer) FServer->Stop();
}

void TServerUnderTest::Start(const std::string& settings) {
  const std::string file = FDir.WriteFile(
      "Settings.ini", "[Settings]\n" + settings + "\n[Mqtt]\nBroker=127.0.0.1\nPort=" + std::to_string(FBroker.Port()) +
                          "\nClientID=Display1\nTopics=pos/display1\n");
  FLog = UniqueFd(open(LogFile().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  FServer =
      std::make_unique<test::TChildProcess>(std::vector<std::string>{KESTOVA_DISPLAYD, "--settings", file}, FLog.Get());
  if (!WaitForText(LogFile(), "Accepted", 15s))
    throw std::runtime_error("the server did not subscribe:\n" + test::ReadWholeFile(LogFile()));
  FStation = mosquitto_new("bench-station", true, nullptr);
  if (mosquitto_connect(FStation, "127.0.0.1", FBroker.Port(), 60) != MOSQ_ERR_SUCCESS)
    throw std::runtime_error("the station did not connect");
  mosquitto_loop_start(FStation);
}

void TServerUnderTest::Publish(const std::string& payload) {
  mosquitto_publish(FStation, nullptr, "pos/display1", static_cast<int>(payload.size()), payload.data(), 0, false);
}

std::string TServerUnderTest::ShowMessage(const std::string& line1, const std::string& line2) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><msg><sender>B</sender><target>Display1</target>"
         "<command>SHOW_MESSAGE</command><params>LINE1=" +
         line1 + ",LINE2=" + line2 + "</params></msg>";
}

}  // namespace kestova::bench
