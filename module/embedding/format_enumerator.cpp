#include "module/embedding/format_enumerator.h"

#include <vector>

#include "module/com_enumerator.h"

namespace zel {

HRESULT NewFormatEnumerator(std::span<const FORMATETC> formats, IEnumFORMATETC** result) noexcept {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  try {
    return FormatEnumerator::Create(std::vector<FORMATETC>(formats.begin(), formats.end()), result);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace zel
