#include "tools/virtual-display/display_decoder.h"

#include "tools/virtual-display/command_set_decoder.h"
#include "tools/virtual-display/frame_decoder.h"

namespace kestova {

std::vector<TDisplayFrame> DecodeReads(TDisplayDecoder& decoder, const std::vector<std::string>& reads) {
  std::vector<TDisplayFrame> frames;
  for (const std::string& read : reads)
    for (TDisplayFrame& frame : decoder.Feed(read)) frames.push_back(std::move(frame));
  if (std::optional<TDisplayFrame> last = decoder.Flush()) frames.push_back(std::move(*last));
  return frames;
}

TDisplayFrame ShownAfter(TDisplayDecoder& decoder, std::string_view bytes) {
  std::vector<TDisplayFrame> frames = DecodeReads(decoder, {std::string(bytes)});
  return frames.empty() ? TDisplayFrame{} : std::move(frames.back());
}

std::unique_ptr<TDisplayDecoder> MakeDisplayDecoder(TDisplayProtocol protocol, std::size_t columns, bool wrap) {
  if (protocol == prFrame && !wrap) return std::make_unique<TFrameDecoder>();
  return std::make_unique<TCommandSetDecoder>(protocol, columns, wrap);
}

}  // namespace kestova
