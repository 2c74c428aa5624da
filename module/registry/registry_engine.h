// Writes a registry tree into a backend, or removes what it wrote.
#pragma once

#include "module/registry/registry_backend.h"
#include "module/registry/registry_tree.h"
#include "module/registry/replacement_table.h"
#include "platform/automation.h"

namespace zel::registry {

enum class Mode { kRegister, kUnregister };

// The HRESULT that carries a platform error code.
inline HRESULT FromWin32(long code) noexcept {
  return code <= 0
             ? static_cast<HRESULT>(code)
             : static_cast<HRESULT>((static_cast<unsigned long>(code) & 0xFFFFu) | 0x80070000u);
}

// Register: keys in order, replaced keys deleted first, each value written as REG_SZ.
// Unregister: every normal or replaced key that holds something is deleted with its subtree
// after its subkeys were visited; kept keys stay; missing keys are no error.
// The first failure ends the run (earlier changes stay): E_FAIL for a bad variable, the
// registry's error code as an HRESULT otherwise.
HRESULT RunTree(const Tree& tree, Mode mode, const ReplacementTable& variables, Backend& backend,
                LeadBytePredicate isLeadByte = nullptr);

}  // namespace zel::registry
