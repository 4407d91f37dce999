// kestova-send: publish a message packet to a broker from the command line. See --help.
#include <iostream>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "tools/kestova-send/send_tool.h"

int main(int argc, char** argv) {
  // Ctrl-C and SIGTERM end the event loop instead of the process, so the client is shut down.
  kestova::TEventLoop::BlockTerminationSignals();
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = kestova::RunSendTool(args, std::cout, std::cerr);
  std::cout.flush();
  return std::cout ? status : kestova::kSendExitFailed;
}
