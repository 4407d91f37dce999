#pragma once
// Byte-string routines that turn a Windows-1250 line into what the pole display shows:
// code page 852 letters and an exact width. Lengths and positions count bytes.
#include <cstdint>

#include "platform/text_codec.h"

namespace kestova {

enum TFillType : uint8_t { ftLeft = 0, ftRight = 1 };

// Central European letters of Windows-1250 to code page 852.
ByteString StringTo852(ByteString Str);
// Fill on one side while shorter than StringWidth; never cuts. Whole copies of FillChar are
// added, so a longer fill text can overshoot; an empty fill text returns the string unchanged.
ByteString ResizeString(ByteString InputString, const ByteString& FillChar, int32_t StringWidth, TFillType FillType);
// Exactly ExactWidth bytes: short strings filled (right-aligned by L, left-aligned by R),
// long ones cut at the beginning so the end of the text remains.
ByteString StrExactL(ByteString InputString, const ByteString& FillChar, int32_t ExactWidth);
ByteString StrExactR(ByteString InputString, const ByteString& FillChar, int32_t ExactWidth);
// The display service's line preparation: commas to periods, code page 852, first Width bytes.
ByteString PreProcess(ByteString Txt, int32_t Width);

}  // namespace kestova
