#include "tools/virtual-display/display_decoder.h"

#include "tools/virtual-display/command_set_decoder.h"
#include "tools/virtual-display/frame_decoder.h"

namespace kestova {

TDisplayFrame ShownAfter(TDisplayDecoder& decoder, std::string_view bytes) {
  TDisplayFrame shown;
  for (TDisplayFrame& frame : decoder.Feed(bytes)) shown = std::move(frame);
  if (std::optional<TDisplayFrame> last = decoder.Flush()) shown = std::move(*last);
  return shown;
}

std::unique_ptr<TDisplayDecoder> MakeDisplayDecoder(TDisplayProtocol protocol, std::size_t columns, bool wrap) {
  if (protocol == prFrame && !wrap) return std::make_unique<TFrameDecoder>();
  return std::make_unique<TCommandSetDecoder>(protocol, columns, wrap);
}

}  // namespace kestova
