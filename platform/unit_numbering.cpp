#include "platform/unit_numbering.h"

namespace zel {

std::optional<int> UnitNumbering::NumberOf(std::string_view port, std::uint16_t productId) {
  for (std::size_t number = 0; number < owners_.size(); ++number) {
    if (owners_[number].port == port && owners_[number].productId == productId)
      return static_cast<int>(number);
  }
  if (owners_.size() >= static_cast<std::size_t>(kMaxNumbers)) return std::nullopt;
  owners_.push_back({std::string(port), productId});
  return static_cast<int>(owners_.size() - 1);
}

const UnitNumbering::Owner* UnitNumbering::OwnerOf(int number) const noexcept {
  if (number < 0 || static_cast<std::size_t>(number) >= owners_.size()) return nullptr;
  return &owners_[static_cast<std::size_t>(number)];
}

}  // namespace zel
