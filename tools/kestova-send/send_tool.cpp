#include "tools/kestova-send/send_tool.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <utility>

#include "messaging/mqtt_manager.h"
#include "messaging/xml_packet.h"
#include "mqtt/client.h"
#include "platform/event_loop.h"
#include "platform/main_thread.h"
#include "platform/number_text.h"
#include "platform/text_codec.h"
#include "tools/kestova-send/catalogue_call.h"

namespace kestova {
namespace {

constexpr const char* kUsage =
    "usage: kestova-send --broker HOST [--port N] [--client-id ID] [--user U] [--pass P]\n"
    "                    [--tls [--cafile FILE] [--insecure]] [--qos 0|1|2] --topic T ACTION\n"
    "ACTION: --show LINE1 LINE2 --target DISPLAY [--align1 R] [--align2 R]\n"
    "        --enum [--wait SECONDS]\n"
    "        --raw TEXT\n"
    "        --op OPERATION [ARG...]\n"
    "       kestova-send --help\n";

// The connection must be up this long after the start, so that every failure to reach or use
// the broker is reported within 10 s.
constexpr std::chrono::milliseconds kConnectWait{8000};
// How long a QoS 1 or 2 message may wait for its acknowledgement (a QoS 0 one to be written).
constexpr std::chrono::milliseconds kDeliveryWait{10000};

void PrintHelp(std::ostream& out) {
  out << kUsage
      << "\n"
         "Connects to the broker with a clean session, publishes one message on the topic and\n"
         "disconnects with a DISCONNECT packet once the message has been written (QoS 1 and 2:\n"
         "once the broker has acknowledged it).\n"
         "\n"
         "  --show    a SHOW_MESSAGE packet for the display DISPLAY with the parameters LINE1,\n"
         "            LINE2, ALIGN1 and ALIGN2 (R aligns a line to the right)\n"
         "  --enum    an ENUM_DISPLAYS_REQ packet; then prints the DisplayId of every\n"
         "            ENUM_DISPLAYS_ANS received on the topic within SECONDS (default 2)\n"
         "  --raw     TEXT unchanged (UTF-8)\n"
         "  --op      calls an operation of the outbound catalogue with DefaultTopic = T and its\n"
         "            arguments in this order (text as given, integers in decimal, Booleans as true\n"
         "            or false, SupportMode 0 TeamViewer or 1 RDP); it publishes what the operation\n"
         "            publishes, with the operation's own QoS (--qos does not apply), or nothing:\n"
      << CatalogueSynopsis(std::string(14, ' '))
      << "\n"
         "  --port    default 1883, with --tls 8883\n"
         "  --tls     TLS; the broker's certificate must be trusted by the system or by the CA in\n"
         "            --cafile and must name HOST; --insecure checks nothing (test brokers only)\n"
         "  --client-id  default: 23 random characters\n"
         "\n"
         "Exit status: 0 done, 1 the broker could not be reached, refused the connection or did\n"
         "not acknowledge the message (one line on standard error names why), 2 bad usage.\n";
}

bool ParseSeconds(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && *end == '\0' && value >= 0 && value <= 3600;
}

// One run of the tool: the client, the loop, and what has happened so far.
class TSendRun {
 public:
  TSendRun(const TSendOptions& options, std::ostream& out, std::ostream& err)
      : FOptions(options), FOut(out), FErr(err) {}

  int Run();

 private:
  std::string Where() const { return FOptions.Broker + ":" + std::to_string(FClient.BrokerPort()); }
  // "cannot connect to HOST:PORT: STATUS", and why the connection could not be opened when known
  // (a TLS handshake refused for an untrusted, expired or wrongly named certificate, say).
  std::string CannotConnect(TMqttConnectionStatus status) const;
  void Configure();
  void Fail(const std::string& message);
  void Succeed();
  void StatusChanged(TMqttConnectionStatus status);
  void Connected();
  void PublishRequest();
  void PacketSent(const TMqttPacketInfo& info);
  void PacketReceived(const TMqttPacketInfo& info);
  void Delivered();
  void PublishReceived(const TMqttBytes& payload);
  void CallOperation();

  const TSendOptions& FOptions;
  std::ostream& FOut;
  std::ostream& FErr;
  TEventLoop FLoop;
  std::optional<int> FResult;
  bool FFinishing = false;
  bool FWasConnected = false;
  bool FDelivered = false;
  uint16_t FPacketId = 0;
  TMqttQoS FPublishedQos = TMqttQoS::qosAtMostOnce;  // of the message waited for
  std::string FConnectFailure;                       // the last attempt's reason, if it failed to open
  // Expires with the run: reports handed over to the main thread check it (main thread only).
  std::shared_ptr<int> FAlive = std::make_shared<int>(0);
  TEventLoop::TimerId FConnectTimer = 0;
  TEventLoop::TimerId FDeliveryTimer = 0;
  // Last, so it goes first: its threads report into the members above (and check FAlive) until
  // its destructor has joined them.
  TMqttClient FClient;
};

std::string TSendRun::CannotConnect(TMqttConnectionStatus status) const {
  std::string line = "cannot connect to " + Where() + ": " + std::string(MqttConnectionStatusName(status));
  if (!FConnectFailure.empty()) line += " (" + FConnectFailure + ")";
  return line;
}

void TSendRun::Configure() {
  FClient.SetBrokerHostName(FOptions.Broker);
  FClient.SetBrokerPort(FOptions.Port.value_or(FOptions.Tls ? 8883 : MQTT_DEFAULT_PORT));
  FClient.SetClientID(FOptions.ClientId);
  FClient.Credentials().SetUsername(FOptions.User);
  FClient.Credentials().SetPassword(FOptions.Password);
  FClient.SetUseSSL(FOptions.Tls);
  FClient.TlsSettings().SetVerifyPeer(!FOptions.Insecure);
  FClient.TlsSettings().SetCAFile(FOptions.CAFile);
  // One message and gone: no reconnect, and the default keep-alive.
  FClient.KeepAliveSettings().SetAutoReconnect(false);

  FClient.OnConnectFailed = [this](TMqttClient&, const std::string& reason) { FConnectFailure = reason; };
  FClient.OnConnectedStatusChanged = [this](TMqttClient&, bool, TMqttConnectionStatus status) {
    // A connection the reader thread finds dead is reported on that thread: the run's state
    // belongs to the main thread, so the report goes there, unless the run is gone by then.
    if (!MainThread().IsMainThread()) {
      MainThread().Queue([alive = std::weak_ptr<int>(FAlive), this, status] {
        if (!alive.expired()) StatusChanged(status);
      });
      return;
    }
    StatusChanged(status);
  };
  FClient.OnPacketSent = [this](TMqttClient&, const TMqttPacketInfo& info) { PacketSent(info); };
  FClient.OnPacketReceived = [this](TMqttClient&, const TMqttPacketInfo& info) { PacketReceived(info); };
  FClient.OnSubscriptionAcknowledged = [this](TMqttClient&, uint16_t, const TMqttSubscriptions& subscriptions) {
    if (subscriptions.empty() || !subscriptions.front().Accepted) {
      Fail("the broker refused the subscription to " + FOptions.Topic);
      return;
    }
    PublishRequest();
  };
  FClient.OnPublishReceived = [this](TMqttClient&, uint16_t, const std::string&, const TMqttBytes& payload) {
    PublishReceived(payload);
  };
}

void TSendRun::Fail(const std::string& message) {
  if (FResult) return;
  FErr << "kestova-send: " << message << '\n';
  FResult = kSendExitFailed;
  FLoop.Quit(kSendExitFailed);
}

void TSendRun::Succeed() {
  if (FResult) return;
  FFinishing = true;
  FClient.Disconnect();
  FResult = kSendExitOk;
  FLoop.Quit(kSendExitOk);
}

void TSendRun::StatusChanged(TMqttConnectionStatus status) {
  if (FFinishing || FResult) return;
  switch (status) {
    case TMqttConnectionStatus::csConnecting: return;
    case TMqttConnectionStatus::csConnected: Connected(); return;
    case TMqttConnectionStatus::csConnectionLost:
      Fail("the connection to " + Where() + " was lost (" + std::string(MqttConnectionStatusName(status)) + ")");
      return;
    default: Fail(CannotConnect(status)); return;
  }
}

void TSendRun::Connected() {
  FWasConnected = true;
  FLoop.CancelTimer(FConnectTimer);
  FDeliveryTimer = FLoop.CallAfter(kDeliveryWait, [this] {
    if (!FDelivered) Fail("the broker did not acknowledge the message within 10 s");
  });
  if (FOptions.Action == TSendAction::saEnum) {
    // Listen first, so that no answer can come before the subscription.
    FClient.Subscribe(FOptions.Topic, FOptions.Qos);
  } else if (FOptions.Action == TSendAction::saOp) {
    CallOperation();
  } else {
    PublishRequest();
  }
}

void TSendRun::PublishRequest() {
  const std::string payload = BuildSendPayload(FOptions, FClient.ClientID());
  FPublishedQos = FOptions.Qos;
  FPacketId = FClient.Publish(FOptions.Topic, std::string_view(payload), FOptions.Qos, false);
}

void TSendRun::PacketSent(const TMqttPacketInfo& info) {
  if (info.PacketType == TMqttPacketType::mtPUBLISH && FPublishedQos == TMqttQoS::qosAtMostOnce) Delivered();
}

void TSendRun::PacketReceived(const TMqttPacketInfo& info) {
  if (FPacketId == 0 || info.PacketId != FPacketId) return;
  // A broker that downgrades QoS 2 to 1 (RabbitMQ) answers a QoS 2 PUBLISH with a PUBACK: the
  // message is delivered all the same.
  if ((FPublishedQos != TMqttQoS::qosAtMostOnce && info.PacketType == TMqttPacketType::mtPUBACK) ||
      (FPublishedQos == TMqttQoS::qosExactlyOnce && info.PacketType == TMqttPacketType::mtPUBCOMP)) {
    Delivered();
  }
}

void TSendRun::Delivered() {
  if (FDelivered) return;
  FDelivered = true;
  FLoop.CancelTimer(FDeliveryTimer);
  if (FOptions.Action != TSendAction::saEnum) {
    Succeed();
    return;
  }
  FLoop.CallAfter(std::chrono::milliseconds(static_cast<long long>(FOptions.WaitSeconds * 1000)),
                  [this] { Succeed(); });
}

void TSendRun::PublishReceived(const TMqttBytes& payload) {
  if (FOptions.Action != TSendAction::saEnum || FResult) return;
  try {
    const TXmlPacket packet(
        DecodeUtf8(std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size())));
    if (packet.Command() != TCommand::ENUM_DISPLAYS_ANS) return;
    FOut << packet.Params().Values("DisplayId") << std::endl;
  } catch (const std::exception&) {
    // Anything on the topic that is not an answer is none of ours.
  }
}

void TSendRun::CallOperation() {
  TMqttManager manager(&FClient);
  manager.DefaultTopic = FOptions.Topic;
  bool published = false;
  manager.OnPublished = [&](uint16_t id, TMqttQoS qos) {
    published = true;
    FPacketId = id;
    FPublishedQos = qos;
  };
  try {
    CallCatalogueOperation(manager, FOptions.Operation, FOptions.OperationArgs);
  } catch (const std::exception& e) {
    Fail(FOptions.Operation + ": " + e.what());
    return;
  }
  if (!published) Delivered();  // nothing to wait for
}

int TSendRun::Run() {
  Configure();
  FConnectTimer = FLoop.CallAfter(kConnectWait, [this] {
    if (!FWasConnected) {
      Fail(CannotConnect(FClient.ConnectionStatus()));
    }
  });
  try {
    FClient.Connect(true);
  } catch (const std::exception& e) {
    Fail("cannot connect to " + Where() + ": " + e.what());
  }
  const int status = FResult ? *FResult : FLoop.Run();
  // Every way out (done, failed, interrupted) leaves the broker with a DISCONNECT, so it
  // neither publishes a will nor waits for the keep-alive to run out.
  FFinishing = true;
  FClient.Disconnect();
  return status;
}

}  // namespace

std::optional<TSendOptions> ParseSendOptions(const std::vector<std::string>& args, std::string& problem, bool& help) {
  TSendOptions options;
  help = false;
  bool haveAction = false;
  // Options that take their value as it is.
  const std::vector<std::pair<std::string, std::string TSendOptions::*>> texts = {
      {"--broker", &TSendOptions::Broker}, {"--client-id", &TSendOptions::ClientId},
      {"--user", &TSendOptions::User},     {"--pass", &TSendOptions::Password},
      {"--cafile", &TSendOptions::CAFile}, {"--topic", &TSendOptions::Topic},
      {"--target", &TSendOptions::Target}, {"--align1", &TSendOptions::Align1},
      {"--align2", &TSendOptions::Align2}};
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    const auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) {
        problem = option + " needs a value";
        return false;
      }
      into = args[++i];
      return true;
    };
    const auto action = [&](TSendAction chosen) {
      if (haveAction) {
        problem = "give one of --show, --enum, --raw and --op";
        return false;
      }
      haveAction = true;
      options.Action = chosen;
      return true;
    };
    const auto text =
        std::find_if(texts.begin(), texts.end(), [&](const auto& entry) { return entry.first == option; });
    std::string number;
    long long parsed = 0;
    bool ok = true;
    if (option == "--help" || option == "-h") {
      help = true;
      return std::nullopt;
    } else if (text != texts.end()) {
      ok = value(options.*(text->second));
    } else if (option == "--port") {
      ok = value(number) && ParseNumber(number, 1, 65535, parsed);
      if (!ok && problem.empty()) problem = "--port needs a number from 1 to 65535";
      options.Port = static_cast<int32_t>(parsed);
    } else if (option == "--qos") {
      ok = value(number) && ParseNumber(number, 0, 2, parsed);
      if (!ok && problem.empty()) problem = "--qos needs 0, 1 or 2";
      options.Qos = static_cast<TMqttQoS>(parsed);
    } else if (option == "--wait") {
      ok = value(number) && ParseSeconds(number, options.WaitSeconds);
      if (!ok && problem.empty()) problem = "--wait needs a number of seconds from 0 to 3600";
    } else if (option == "--tls") {
      options.Tls = true;
    } else if (option == "--insecure") {
      options.Insecure = true;
    } else if (option == "--show") {
      ok = action(TSendAction::saShow) && value(options.Line1) && value(options.Line2);
    } else if (option == "--enum") {
      ok = action(TSendAction::saEnum);
    } else if (option == "--raw") {
      ok = action(TSendAction::saRaw) && value(options.Raw);
    } else if (option == "--op") {
      ok = action(TSendAction::saOp) && value(options.Operation);
      if (ok) problem = TakeCatalogueArguments(options.Operation, args, i, options.OperationArgs);
      ok = ok && problem.empty();
    } else {
      problem = "unknown option " + option;
      ok = false;
    }
    if (!ok) return std::nullopt;
  }
  if (options.Broker.empty())
    problem = "--broker is required";
  else if (options.Topic.empty())
    problem = "--topic is required";
  else if (!haveAction)
    problem = "give one of --show, --enum, --raw and --op";
  else if (options.Action == TSendAction::saShow && options.Target.empty())
    problem = "--show needs --target";
  else if ((options.Insecure || !options.CAFile.empty()) && !options.Tls)
    problem = "--insecure and --cafile need --tls";
  else if (options.Action == TSendAction::saRaw && !IsValidUtf8(options.Raw))
    problem = "--raw needs UTF-8 text";
  else if (options.Action == TSendAction::saOp &&
           !std::all_of(options.OperationArgs.begin(), options.OperationArgs.end(), IsValidUtf8))
    problem = "--op needs UTF-8 text";
  if (!problem.empty()) return std::nullopt;
  return options;
}

std::string BuildSendPayload(const TSendOptions& options, const std::string& clientId) {
  switch (options.Action) {
    case TSendAction::saShow: {
      TXmlPacket packet(options.Topic, clientId, options.Target, TCommand::SHOW_MESSAGE, "");
      packet.Params().Add("LINE1=" + options.Line1);
      packet.Params().Add("LINE2=" + options.Line2);
      packet.Params().Add("ALIGN1=" + options.Align1);
      packet.Params().Add("ALIGN2=" + options.Align2);
      return packet.ToString();
    }
    case TSendAction::saEnum:
      return TXmlPacket(options.Topic, clientId, "", TCommand::ENUM_DISPLAYS_REQ, "").ToString();
    case TSendAction::saRaw: break;
    case TSendAction::saOp: return {};
  }
  return options.Raw;
}

int RunSendTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string problem;
  bool help = false;
  const std::optional<TSendOptions> options = ParseSendOptions(args, problem, help);
  if (help) {
    PrintHelp(out);
    return kSendExitOk;
  }
  if (!options) {
    err << "kestova-send: " << problem << '\n' << kUsage;
    return kSendExitUsage;
  }
  MainThread().BindToCurrentThread();
  try {
    TSendRun run(*options, out, err);
    return run.Run();
  } catch (const std::exception& e) {
    err << "kestova-send: " << e.what() << '\n';
    return kSendExitFailed;
  }
}

}  // namespace kestova
