// Arbitrary bytes as what an RFID reader sends on a connection. The input is the stream followed
// by five bytes: a seed for the sizes of the pieces the stream arrives in, and the line limit (1
// to 48 characters, so that overlong lines come within reach, or from 48 on the client's own). The lines go
// through the line-command client's dispatch as the listening thread sends them: the reader's
// PreProcessData as before-command hook, then two command handlers (OPEN with its parameters
// split at spaces, and K with no delimiter after the command and parameters split at commas).
// Invariants:
//  - The stream gives the same lines, and is refused at the same line, whether it arrives whole
//    or in pieces, and both agree with a model of the framing: lines end at LF, one CR before
//    it goes, bytes above 127 become U+FFFD, a line longer than the limit ends the stream.
//  - PreProcessData logs the first character of each line and at most 200 characters after it;
//    learn and automatic mode follow the last l/L and a/A line whose data is one character;
//    every other line, apart from D and C replies, reaches OnCommandHandler unchanged.
//  - A handler takes only its own command word; OPEN's parameters are the non-empty pieces
//    between spaces, K's the trimmed, non-empty pieces between commas.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "messaging/file_logger.h"
#include "platform/ascii_text.h"
#include "platform/text_codec.h"
#include "rfid/cmd_io_handler.h"
#include "rfid/cmd_line_splitter.h"
#include "rfid/cmd_tcp_client.h"
#include "rfid/rfid_reader.h"

namespace {

using namespace kestova;
using fuzz::Check;

struct TSplit {
  std::vector<std::string> Lines;
  bool Refused = false;
  bool operator==(const TSplit&) const = default;
};

TSplit Split(const std::vector<std::string_view>& pieces, std::size_t limit) {
  TCmdLineSplitter splitter(limit);
  TSplit split;
  try {
    for (const std::string_view piece : pieces) {
      splitter.Append(piece);
      std::string line;
      while (splitter.Next(line)) split.Lines.push_back(line);
    }
  } catch (const ECmdLineTooLong&) {
    split.Refused = true;
  }
  return split;
}

// The framing, written from its description.
TSplit ModelSplit(std::string_view stream, std::size_t limit) {
  TSplit split;
  for (;;) {
    const std::size_t lf = stream.find('\n');
    std::string_view line = stream.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > limit) {
      split.Refused = true;
      return split;
    }
    if (lf == std::string_view::npos) return split;
    split.Lines.push_back(FromAsciiBytes(line));
    stream.remove_prefix(lf + 1);
  }
}

// What the logger writes, without the time and level in front.
class TMessages : public ILogMonitor {
 public:
  void AddLine(const std::string& line) override {
    const std::size_t at = line.find("(PreProcessData) ");
    if (at != std::string::npos) Messages.push_back(line.substr(at));
  }
  void Clear() override {}
  std::vector<std::string> Messages;
};

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Lines through the client's dispatch, with the reader's hook and two handlers.
void Dispatch(const std::vector<std::string>& lines) {
  // Made after the logger, so gone before it.
  static TMessages log;
  static const bool logging = [] {
    Logger().SetLogFileName("/dev/null");
    Logger().SetLevel(llVerbose);
    Logger().SetActive(true);
    Logger().SetMonitor(&log);
    return true;
  }();
  Check(logging, "no logger");
  log.Messages.clear();

  TRfidReader reader;
  reader.SetActive(false);  // the mode queries then only report what was received
  std::vector<std::string> passedOn;
  reader.OnCommandHandler = [&](TCmdTCPClient&, std::string& data, TCmdContext&) { passedOn.push_back(data); };

  TCmdTCPClient client;
  TCmdIOHandler connection;  // never opened: with replies off, nothing is written
  TCmdContext context(client, connection);
  client.OnBeforeCommandHandler = [&](TCmdTCPClient& sender, std::string& data, TCmdContext& ctx) {
    reader.PreProcessData(sender, data, ctx);
  };
  client.CommandHandlers().SetPerformReplies(false);
  std::vector<std::string> taken;
  std::vector<std::vector<std::string>> params;
  auto record = [&](TCmdExecution& command) {
    taken.push_back(command.RawLine());
    params.push_back(command.Params().Items());
  };
  TCmdHandler& open = client.CommandHandlers().Add();
  open.Command = "OPEN";
  open.OnCommand = record;
  TCmdHandler& key = client.CommandHandlers().Add();
  key.Command = "K";
  key.CmdDelimiter = '\0';
  key.ParamDelimiter = ',';
  key.OnCommand = record;

  bool learn = false, automatic = false;
  std::vector<std::string> expectedPassedOn, expectedLog;
  std::size_t handled = 0;
  for (const std::string& received : lines) {
    std::string line = received;
    const bool took = client.CommandHandlers().HandleCommand(context, line);
    Check(line == received, "the hook changed the line");

    const std::string cmd = Utf8Left(line, 1);
    const std::string rest = line.substr(cmd.size());
    const std::string data = Utf8Left(rest, 200);
    expectedLog.push_back("(PreProcessData) Reiceved data from : " + line);
    expectedLog.push_back("(PreProcessData) cmd: " + cmd);
    expectedLog.push_back("(PreProcessData) data: " + data);
    const bool one = Utf8Length(data) == 1;
    if ((cmd == "l" || cmd == "L") && one) {
      learn = data == "1";
    } else if ((cmd == "a" || cmd == "A") && one) {
      automatic = data == "1";
    } else if (cmd == "D" || cmd == "C") {
      if (data == "0")
        expectedLog.push_back(cmd == "D" ? "(PreProcessData) Delete key problem: 0"
                                         : "(PreProcessData) Add key problem: 0");
    } else {
      if (cmd == "W") expectedLog.push_back("(PreProcessData) Reader reset ");
      expectedPassedOn.push_back(line);
    }
    Check(Utf8Length(data) <= 200 && rest.substr(0, data.size()) == data, "data is not the start of the line");

    const bool isOpen = SameText(line, "OPEN") || (line.size() >= 5 && SameText(line.substr(0, 5), "OPEN "));
    const bool isKey = !isOpen && !line.empty() && (line[0] == 'k' || line[0] == 'K');
    Check(took == (isOpen || isKey), "a handler took another command word, or missed its own");
    if (!took) continue;
    Check(handled < taken.size() && taken[handled] == line, "the handler ran with another line");
    std::string joined;
    for (const std::string& p : params[handled]) {
      Check(!p.empty(), "an empty parameter");
      if (isOpen) Check(p.find(' ') == std::string::npos, "OPEN's parameter holds a space");
      if (isKey) Check(p.find(',') == std::string::npos && !IsBlank(p.front()) && !IsBlank(p.back()), "K's parameter");
      joined += p;
    }
    if (isOpen) {
      std::string words = line.size() > 5 ? line.substr(5) : "";
      std::erase(words, ' ');
      Check(joined == words, "OPEN's parameters are not its words");
    }
    ++handled;
  }
  Check(handled == taken.size(), "a handler ran for no line");
  Check(passedOn == expectedPassedOn, "OnCommandHandler got other lines");
  Check(log.Messages == expectedLog, "PreProcessData logged otherwise");
  Check(reader.LearnMode() == learn && reader.AutoMode() == automatic, "the modes do not follow the replies");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const uint8_t limitByte = input.ConsumeIntegral<uint8_t>();
  const auto seed = input.ConsumeIntegral<uint32_t>();
  const std::string stream = input.ConsumeRemainingBytesAsString();
  const std::size_t limit = limitByte >= 48 ? TCmdLineSplitter::kMaxLineLength : 1u + limitByte;

  const std::vector<std::string_view> pieces = fuzz::Pieces(stream, seed, 17);
  const TSplit model = ModelSplit(stream, limit);
  Check(Split({stream}, limit) == model, "the whole stream splits otherwise than the model");
  Check(Split(pieces, limit) == model, "the stream in pieces splits otherwise than whole");

  Dispatch(model.Lines);
  return 0;
}
