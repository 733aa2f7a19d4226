// The windows' images as XPM text, which Qt reads as it stands.
#pragma once

namespace pallisand {

extern const char* const kToolBarBitmap[];  // five 16 x 16 images side by side
extern const char* const kColorsBitmap[];   // one 16 x 16 image
extern const char* const kSmallMacIcon[];   // 16 x 16

}  // namespace pallisand
