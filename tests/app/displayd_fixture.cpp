#include "tests/app/displayd_fixture.h"

#include <fcntl.h>
#include <poll.h>

#include <fstream>
#include <sstream>

namespace kestova::test {

std::string TDisplaydRun::Settings(std::uint16_t port, const std::string& settingsSection,
                                   const std::string& mqttSection) {
  return FDir.WriteFile("Settings.ini", "[Settings]\n" + settingsSection +
                                            "\n[Mqtt]\nBroker=127.0.0.1\nPort=" + std::to_string(port) +
                                            "\nClientID=Display1\nTopics=t\n" + mqttSection + "\n");
}

std::unique_ptr<TChildProcess> TDisplaydRun::Start(const std::vector<std::string>& args, const std::string& program) {
  FOutput = UniqueFd(open(FDir.File("out.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  return std::make_unique<TChildProcess>(argv, FOutput.Get());
}

std::string TDisplaydRun::Output() const {
  std::ifstream in(FDir.File("out.log"));
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool TDisplaydRun::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout, int times) const {
  const auto count = [&] {
    const std::string out = Output();
    int found = 0;
    for (std::size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + text.size())) ++found;
    return found;
  };
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (count() >= times) return true;
    poll(nullptr, 0, 20);
  }
  return count() >= times;
}

}  // namespace kestova::test
