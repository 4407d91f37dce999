// kestova-virtual-display: a pole display for development without the hardware. It opens a
// pseudo-terminal, prints its path (give it as ComPort in Settings.ini) on the first line of
// standard output, and draws the two display lines in a box after every frame the server writes,
// in the command set given with --protocol (as DisplayProtocol in Settings.ini).
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/deadline.h"
#include "platform/exception.h"
#include "tools/virtual-display/display_box.h"
#include "tools/virtual-display/display_decoder.h"
#include "tools/virtual-display/pseudo_terminal.h"

namespace kestova {
namespace {

// A frame whose line 2 has begun is shown once the input has been quiet this long.
constexpr std::chrono::milliseconds kQuietTime{50};
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "Usage: kestova-virtual-display [--width N] [--protocol NAME] [--wrap] [--once [--timeout SECONDS]]\n"
    "\n"
    "Opens a pseudo-terminal, prints its path (use it as ComPort in Settings.ini) and shows the\n"
    "two lines of every frame written to it in a box.\n"
    "\n"
    "  --width N          columns of the box (1 to 200, default 20)\n"
    "  --protocol NAME    the command set to decode, as DisplayProtocol in Settings.ini: frame\n"
    "                     (default), epson, cd5220, logic-controls or aedex; a byte the set does\n"
    "                     not know is shown as a dot\n"
    "  --wrap             a display whose cursor moves on to the other line after the last column\n"
    "  --once             print the two lines of the first frame, one per line, and exit\n"
    "  --timeout SECONDS  with --once: give up with exit status 1 when no frame arrives in time\n"
    "  --help             show this text\n";

struct TOptions {
  std::size_t Width = 20;
  TDisplayProtocol Protocol = kDefaultDisplayProtocol;
  bool Wrap = false;
  bool Once = false;
  std::optional<std::chrono::seconds> Timeout;
};

[[noreturn]] void UsageError(const std::string& message) {
  std::fprintf(stderr, "kestova-virtual-display: %s\n\n%s", message.c_str(), kUsage);
  std::exit(kExitUsage);
}

long ParseNumber(std::string_view option, const std::string& text, long low, long high) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high)
    UsageError(std::string(option) + " wants a whole number from " + std::to_string(low) + " to " +
               std::to_string(high) + ", not \"" + text + "\"");
  return value;
}

TOptions ParseOptions(int argc, char** argv) {
  TOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::optional<std::string> value;
    if (const std::size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.resize(eq);
    }
    auto takeValue = [&]() -> std::string {
      if (value) return *value;
      if (i + 1 >= argc) UsageError(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--help" && !value) {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (arg == "--once" && !value) {
      options.Once = true;
    } else if (arg == "--wrap" && !value) {
      options.Wrap = true;
    } else if (arg == "--protocol") {
      const std::string name = takeValue();
      const std::optional<TDisplayProtocol> protocol = DisplayProtocolByName(name);
      if (!protocol) UsageError("--protocol wants " + DisplayProtocolNames() + ", not \"" + name + "\"");
      options.Protocol = *protocol;
    } else if (arg == "--width") {
      options.Width = static_cast<std::size_t>(ParseNumber(arg, takeValue(), 1, 200));
    } else if (arg == "--timeout") {
      options.Timeout = std::chrono::seconds(ParseNumber(arg, takeValue(), 1, 86400));
    } else {
      UsageError("unknown option \"" + std::string(argv[i]) + "\"");
    }
  }
  if (options.Timeout && !options.Once) UsageError("--timeout goes with --once");
  return options;
}

void Print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

// Draws frames: in place on a terminal, one box after another into a pipe or file.
class TBoxView {
 public:
  explicit TBoxView(std::size_t width) : FWidth(width), FInPlace(::isatty(STDOUT_FILENO) == 1) {}

  void Show(const TDisplayFrame& frame) {
    std::string out;
    if (FInPlace && FDrawn) out = "\x1b[" + std::to_string(kBoxRows) + "A\r";
    out += DrawBox(frame, FWidth);
    Print(out);
    FDrawn = true;
  }

 private:
  std::size_t FWidth;
  bool FInPlace;
  bool FDrawn = false;
};

int Run(const TOptions& options) {
  const TPseudoTerminal pty = OpenPseudoTerminal();
  Print(pty.SlavePath + "\n");

  TBoxView view(options.Width);
  if (!options.Once) {
    if (::isatty(STDOUT_FILENO) == 1)
      std::fprintf(stderr, "Set ComPort=%s in Settings.ini; Ctrl-C ends.\n", pty.SlavePath.c_str());
    view.Show(TDisplayFrame{});
  }

  // Returns true when the program is done (the first frame in --once mode).
  auto show = [&](const TDisplayFrame& frame) {
    if (options.Once) {
      Print(ShowLine(frame.Line1) + "\n" + ShowLine(frame.Line2) + "\n");
      return true;
    }
    view.Show(frame);
    return false;
  };

  const TDeadline deadline = options.Timeout ? TDeadline::After(*options.Timeout) : TDeadline::Never();
  const std::unique_ptr<TDisplayDecoder> decoder = MakeDisplayDecoder(options.Protocol, options.Width, options.Wrap);
  char buffer[4096];
  for (;;) {
    // Sleep until input, the end of a quiet spell after a frame's line 2, or the deadline.
    const TDeadline quiet = decoder->Pending() ? TDeadline::After(kQuietTime) : TDeadline::Never();
    pollfd in{pty.Master.Get(), POLLIN, 0};
    const int ready = ::poll(&in, 1, TDeadline::Earlier(quiet, deadline).PollTimeout());
    if (ready < 0) {
      if (errno == EINTR) continue;
      throw Exception(std::string("poll failed: ") + std::strerror(errno));
    }
    if (ready == 0) {
      if (const std::optional<TDisplayFrame> frame = decoder->Flush()) {
        if (show(*frame)) return 0;
      } else if (deadline.Expired()) {
        std::fprintf(stderr, "kestova-virtual-display: no frame within %lld s\n",
                     static_cast<long long>(options.Timeout->count()));
        return 1;
      }
      continue;
    }
    const ssize_t n = ::read(pty.Master.Get(), buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0)
      throw Exception(std::string("reading the pseudo-terminal failed: ") +
                      (n == 0 ? "end of input" : std::strerror(errno)));
    for (const TDisplayFrame& frame : decoder->Feed(std::string_view(buffer, static_cast<std::size_t>(n))))
      if (show(frame)) return 0;
  }
}

}  // namespace
}  // namespace kestova

int main(int argc, char** argv) {
  const kestova::TOptions options = kestova::ParseOptions(argc, argv);
  try {
    return kestova::Run(options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kestova-virtual-display: %s\n", error.what());
    return 1;
  }
}
