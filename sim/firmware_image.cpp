#include "sim/firmware_image.h"

namespace zel::sim {

void ImageTracker::OnReset() noexcept {}
void ImageTracker::OnWrite(std::uint16_t, std::uint32_t) noexcept {}
bool ImageTracker::Bootable(const Memory&, UnitModel) const noexcept { return false; }

}  // namespace zel::sim
