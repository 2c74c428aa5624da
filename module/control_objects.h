// The instance creators of the three classes, for the class table.
#pragma once

// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <unknwn.h>

namespace zel {

HRESULT CreateKestrinObject(IUnknown* outer, REFIID iid, void** object) noexcept;
HRESULT CreateOrvaneObject(IUnknown* outer, REFIID iid, void** object) noexcept;
HRESULT CreatePolyaxObject(IUnknown* outer, REFIID iid, void** object) noexcept;

}  // namespace zel
