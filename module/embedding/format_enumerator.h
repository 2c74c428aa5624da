// The enumerator IDataObject::EnumFormatEtc hands out: a fixed list of formats that the object
// renders, walked by the caller.
#pragma once

// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <objidl.h>

#include <span>

namespace zel {

// A new enumerator over `formats`, which must outlive it (a table of static storage) and name
// no target device. The enumerator holds the module while it lives: the caller may keep it
// after the object that handed it out is gone.
HRESULT NewFormatEnumerator(std::span<const FORMATETC> formats, IEnumFORMATETC** result) noexcept;

}  // namespace zel
