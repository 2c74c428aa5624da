// Arbitrary text as a registry script, and as a text with %variables%: parsed or refused with
// E_FAIL and a message, never a crash.
#include <cstdlib>
#include <string>
#include <string_view>

#include "module/registry/registry_script.h"
#include "module/registry/replacement_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  zel::registry::Tree tree;
  std::string error;
  const HRESULT parsed = zel::registry::ParseScript(text, tree, error);
  if (parsed != S_OK && (parsed != E_FAIL || error.empty())) std::abort();

  zel::registry::ReplacementTable table;
  table.Add("Module", "C:\\Program Files\\ZEL\\ZELUSB.dll");
  table.Add("APPID", "{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}");
  std::string out;
  const HRESULT substituted = zel::registry::Substitute(
      text, table, out, [](char byte) { return static_cast<unsigned char>(byte) >= 0x81; });
  if (substituted != S_OK && substituted != E_FAIL) std::abort();
  return 0;
}
