#include "tools/kestova-packet/packet_tool.h"

#include <iostream>
#include <iterator>
#include <optional>

#include "messaging/xml_packet.h"
#include "platform/exception.h"
#include "platform/text_codec.h"

namespace kestova {
namespace {

constexpr const char* kUsage =
    "usage: kestova-packet decode < packet.xml\n"
    "       kestova-packet encode --sender S --target T --command NAME [--param ITEM]...\n"
    "       kestova-packet --help\n";

void PrintHelp(std::ostream& out) {
  out << kUsage
      << "\n"
         "decode  reads one packet text (UTF-8) from standard input and prints its fields:\n"
         "        sender=, target=, command= (the name, or the number when the name is not\n"
         "        known), then one param= line per parameter item, in order.\n"
         "encode  prints the text of a packet built from the options, followed by a line feed.\n"
         "        Each --param is one parameter item, normally NAME=VALUE; items holding a comma\n"
         "        or a double quote are quoted in the text. --sender and --target default to empty.\n"
         "\n"
         "Exit status: 0 done, 1 the packet could not be decoded or encoded, 2 bad usage.\n"
         "\n"
         "Command names (letter case does not matter):\n";
  for (int i = 0; i < kCommandCount; ++i) out << "  " << CommandName(static_cast<TCommand>(i)) << '\n';
}

int Usage(std::ostream& err, const std::string& problem) {
  err << "kestova-packet: " << problem << '\n' << kUsage;
  return kExitUsage;
}

// One packet can be no larger than one MQTT message.
bool ReadBounded(std::istream& in, std::string& text) {
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (text.size() > MQTT_MAX_MESSAGE_SIZE) return false;
  }
  return true;
}

int Decode(std::istream& in, std::ostream& out, std::ostream& err) {
  std::string bytes;
  if (!ReadBounded(in, bytes)) {
    err << "error: input larger than an MQTT message (" << MQTT_MAX_MESSAGE_SIZE << " bytes)\n";
    return kExitFailed;
  }
  try {
    const TXmlPacket packet(DecodeUtf8(bytes));
    out << "sender=" << packet.Sender() << '\n'
        << "target=" << packet.Target() << '\n'
        << "command=" << CommandText(packet.Command()) << '\n';
    for (const std::string& item : packet.Params().Items()) out << "param=" << item << '\n';
  } catch (const Exception& e) {
    err << "error: " << e.Message() << '\n';
    return kExitFailed;
  }
  return kExitOk;
}

int Encode(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string sender, target;
  std::optional<std::string> commandName;
  std::vector<std::string> params;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option != "--sender" && option != "--target" && option != "--command" && option != "--param")
      return Usage(err, "unknown option " + option);
    if (i + 1 >= args.size()) return Usage(err, option + " needs a value");
    const std::string& value = args[++i];
    if (option == "--sender")
      sender = value;
    else if (option == "--target")
      target = value;
    else if (option == "--command")
      commandName = value;
    else
      params.push_back(value);
  }
  if (!commandName) return Usage(err, "encode needs --command");
  const TCommand command = CommandByName(*commandName);
  if (command == kUnknownCommand) {
    err << "error: unknown command name \"" << *commandName << "\" (kestova-packet --help lists the names)\n";
    return kExitUsage;
  }
  // Packet text travels as UTF-8; refuse arguments that are not.
  std::vector<const std::string*> texts = {&sender, &target};
  for (const std::string& item : params) texts.push_back(&item);
  for (const std::string* text : texts) {
    if (!IsValidUtf8(*text)) {
      err << "error: " << kNoMappingMessage << '\n';
      return kExitFailed;
    }
  }
  TXmlPacket packet("", sender, target, command, "");
  for (std::string& item : params) packet.Params().Add(std::move(item));
  out << packet.ToString() << '\n';
  return kExitOk;
}

}  // namespace

int RunPacketTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  if (args.empty()) return Usage(err, "no subcommand");
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintHelp(out);
    return kExitOk;
  }
  if (args[0] == "decode") {
    if (args.size() > 1) return Usage(err, "decode takes no arguments");
    return Decode(in, out, err);
  }
  if (args[0] == "encode") return Encode(args, out, err);
  return Usage(err, "unknown subcommand " + args[0]);
}

}  // namespace kestova
