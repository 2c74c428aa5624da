// The enumerator IDataObject::EnumFormatEtc hands out: a fixed list of formats that the object
// renders, walked by the caller.
#pragma once

// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <objidl.h>

#include <span>

namespace zel {

// A new enumerator over a copy of `formats`, which name no target device (module/com_enumerator.h).
// The enumerator holds the module while it lives: the caller may keep it after the object that
// handed it out is gone.
HRESULT NewFormatEnumerator(std::span<const FORMATETC> formats, IEnumFORMATETC** result) noexcept;

}  // namespace zel
