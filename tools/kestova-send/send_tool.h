#pragma once
// kestova-send: publishes one message packet to a broker, or asks the displays on a topic to
// name themselves, with the same MQTT client the display server uses.
//
// Runs on the calling thread, which becomes the main thread of the MQTT client's hand-over.
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "mqtt/global.h"

namespace kestova {

// Exit statuses: 0 done, 1 the broker could not be used (unreachable, refused, no
// acknowledgement), 2 bad usage.
inline constexpr int kSendExitOk = 0;
inline constexpr int kSendExitFailed = 1;
inline constexpr int kSendExitUsage = 2;

enum class TSendAction : uint8_t { saShow, saEnum, saRaw, saOp };

struct TSendOptions {
  std::string Broker;
  std::optional<int32_t> Port;  // 1883, or 8883 with TLS
  std::string ClientId;         // empty: a random one
  std::string User;
  std::string Password;
  bool Tls = false;
  bool Insecure = false;  // TLS without checking the broker's certificate
  std::string CAFile;     // a further trusted CA for TLS
  TMqttQoS Qos = TMqttQoS::qosAtMostOnce;
  std::string Topic;
  TSendAction Action = TSendAction::saRaw;
  std::string Line1, Line2, Target, Align1, Align2;  // --show
  double WaitSeconds = 2.0;                          // --enum
  std::string Raw;                                   // --raw
  std::string Operation;                             // --op: a catalogue operation
  std::vector<std::string> OperationArgs;            //       and its arguments
};

// Parses the arguments after the program name. Returns nothing and writes the reason to
// `problem` for bad usage; sets `help` for --help.
std::optional<TSendOptions> ParseSendOptions(const std::vector<std::string>& args, std::string& problem, bool& help);

// The packet text for --show and --enum (sender = the client identifier); --raw is sent as is;
// --op publishes what its operation publishes (empty here).
std::string BuildSendPayload(const TSendOptions& options, const std::string& clientId);

// The whole program: parse, connect, publish (and listen), disconnect.
int RunSendTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kestova
