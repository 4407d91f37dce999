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
  if (FPhase == TMqttFramePhase::fpMalformed) return TMqttFrameStatus::fsMalformed;
  if (FPhase == TMqttFramePhase::fpComplete) TakeFrame();

  while (AConsumed < AData.size()) {
    switch (FPhase) {
      case TMqttFramePhase::fpFirstByte: {
        const uint8_t first = AData[AConsumed++];
        if (first == 0) {
          ++FSkippedZeroBytes;
          break;
        }
        FFrame.FirstByte = first;
        FFrame.Body.clear();
        FRemainingLength = 0;
        FLengthBytes = 0;
        FPhase = TMqttFramePhase::fpLength;
        break;
      }
      case TMqttFramePhase::fpLength: {
        const uint8_t byte = AData[AConsumed++];
        switch (AccumulateRemainingLength(FRemainingLength, FLengthBytes++, byte)) {
          case TMqttRemainingLengthStep::rlMore: break;
          case TMqttRemainingLengthStep::rlMalformed:
            FPhase = TMqttFramePhase::fpMalformed;
            return TMqttFrameStatus::fsMalformed;
          case TMqttRemainingLengthStep::rlDone:
            if (FRemainingLength > FMaxRemainingLength) {
              FPhase = TMqttFramePhase::fpMalformed;
              return TMqttFrameStatus::fsMalformed;
            }
            if (FRemainingLength == 0) {
              FPhase = TMqttFramePhase::fpComplete;
              return TMqttFrameStatus::fsComplete;
            }
            FFrame.Body.reserve(std::min<std::size_t>(FRemainingLength, kInitialBodyReserve));
            FPhase = TMqttFramePhase::fpBody;
            break;
        }
        break;
      }
      case TMqttFramePhase::fpBody: {
        const std::size_t take = std::min(AData.size() - AConsumed, BytesWanted());
        const auto first = AData.begin() + static_cast<std::ptrdiff_t>(AConsumed);
        FFrame.Body.insert(FFrame.Body.end(), first, first + static_cast<std::ptrdiff_t>(take));
        AConsumed += take;
        if (FFrame.Body.size() == FRemainingLength) {
          FPhase = TMqttFramePhase::fpComplete;
          return TMqttFrameStatus::fsComplete;
        }
        break;
      }
      case TMqttFramePhase::fpComplete:
      case TMqttFramePhase::fpMalformed: break;  // left by the returns above
    }
  }
  return TMqttFrameStatus::fsNeedMore;
}

TMqttFrame TMqttFrameReader::TakeFrame() {
  if (FPhase != TMqttFramePhase::fpComplete) return {};
  FPhase = TMqttFramePhase::fpFirstByte;
  return std::exchange(FFrame, TMqttFrame{});
}

std::size_t TMqttFrameReader::BytesWanted() const noexcept {
  if (FPhase == TMqttFramePhase::fpBody) return FRemainingLength - FFrame.Body.size();
  return 1;
}

void TMqttFrameReader::Reset() noexcept {
  FPhase = TMqttFramePhase::fpFirstByte;
  FRemainingLength = 0;
  FLengthBytes = 0;
  FSkippedZeroBytes = 0;
  FFrame = TMqttFrame{};
}

}  // namespace kestova
