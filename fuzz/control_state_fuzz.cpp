// Arbitrary bytes as an embedded control's saved state: refused with a reason or read, never a
// crash, and whatever is read saves back to a stream that reads as the same state.
#include <cstdlib>

#include "module/embedding/control_state_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zel::ControlState state{-1, -1};
  if (zel::DecodeControlState(data, size, state) != zel::ControlStateError::kNone) {
    if (state.widthHimetric != -1 || state.heightHimetric != -1) std::abort();
    return 0;
  }
  const auto saved = zel::EncodeControlState(state);
  zel::ControlState again{-1, -1};
  if (zel::DecodeControlState(saved.data(), saved.size(), again) != zel::ControlStateError::kNone ||
      again.widthHimetric != state.widthHimetric || again.heightHimetric != state.heightHimetric) {
    std::abort();
  }
  return 0;
}
