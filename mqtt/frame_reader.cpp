#include "mqtt/frame_reader.h"

#include <algorithm>
#include <utility>

#include "mqtt/utils.h"

namespace kestova {
namespace {

// Memory is reserved as the body arrives, so a hostile length cannot make one frame claim
// hundreds of megabytes before a byte of it is seen.
constexpr std::size_t kInitialBodyReserve = 64 * 1024;

}  // namespace

TMqttFrameReader::TMqttFrameReader(uint32_t AMaxRemainingLength) noexcept
    : FMaxRemainingLength(std::min(AMaxRemainingLength, MQTT_MAX_MESSAGE_SIZE)) {}

TMqttFrameStatus TMqttFrameReader::Feed(TMqttByteView AData, std::size_t& AConsumed) {
  AConsumed = 0;
  if (FState == TState::sMalformed) return TMqttFrameStatus::fsMalformed;
  if (FState == TState::sComplete) TakeFrame();

  while (AConsumed < AData.size()) {
    switch (FState) {
      case TState::sFirstByte: {
        const uint8_t first = AData[AConsumed++];
        if (first == 0) {
          ++FSkippedZeroBytes;
          break;
        }
        FFrame.FirstByte = first;
        FFrame.Body.clear();
        FRemainingLength = 0;
        FLengthBytes = 0;
        FState = TState::sLength;
        break;
      }
      case TState::sLength: {
        const uint8_t byte = AData[AConsumed++];
        switch (AccumulateRemainingLength(FRemainingLength, FLengthBytes++, byte)) {
          case TMqttRemainingLengthStep::rlMore: break;
          case TMqttRemainingLengthStep::rlMalformed:
            FState = TState::sMalformed;
            return TMqttFrameStatus::fsMalformed;
          case TMqttRemainingLengthStep::rlDone:
            if (FRemainingLength > FMaxRemainingLength) {
              FState = TState::sMalformed;
              return TMqttFrameStatus::fsMalformed;
            }
            if (FRemainingLength == 0) {
              FState = TState::sComplete;
              return TMqttFrameStatus::fsComplete;
            }
            FFrame.Body.reserve(std::min<std::size_t>(FRemainingLength, kInitialBodyReserve));
            FState = TState::sBody;
            break;
        }
        break;
      }
      case TState::sBody: {
        const std::size_t take = std::min(AData.size() - AConsumed, BytesWanted());
        const auto first = AData.begin() + static_cast<std::ptrdiff_t>(AConsumed);
        FFrame.Body.insert(FFrame.Body.end(), first, first + static_cast<std::ptrdiff_t>(take));
        AConsumed += take;
        if (FFrame.Body.size() == FRemainingLength) {
          FState = TState::sComplete;
          return TMqttFrameStatus::fsComplete;
        }
        break;
      }
      case TState::sComplete:
      case TState::sMalformed: break;  // left by the returns above
    }
  }
  return TMqttFrameStatus::fsNeedMore;
}

TMqttFrame TMqttFrameReader::TakeFrame() {
  if (FState != TState::sComplete) return {};
  FState = TState::sFirstByte;
  return std::exchange(FFrame, TMqttFrame{});
}

std::size_t TMqttFrameReader::BytesWanted() const noexcept {
  if (FState == TState::sBody) return FRemainingLength - FFrame.Body.size();
  return 1;
}

void TMqttFrameReader::Reset() noexcept {
  FState = TState::sFirstByte;
  FRemainingLength = 0;
  FLengthBytes = 0;
  FSkippedZeroBytes = 0;
  FFrame = TMqttFrame{};
}

}  // namespace kestova
