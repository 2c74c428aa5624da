// Checks of the server's Windows parts that no COM client can reach yet: the designer drawing,
// the registry trees over the system registry (in a scratch key of the current user), and the
// misc status that registering the library tells containers, read back the way containers
// read it. Runs under wine:
//   server_checks.exe PATH\ZELUSB.dll
// Prints "N passed, N failed" and exits 1 on any failure.
#include <windows.h>

#include <cstdio>
#include <string>

#include "module/embedding/control_drawing.h"
#include "module/registry/registry_engine.h"
#include "module/registry/win32_registry.h"

#include "tests/module/wine/check.h"
#include "tests/module/wine/dib_canvas.h"

namespace {

using wine_check::failed;
using wine_check::passed;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// A white canvas.
struct Canvas : wine_check::DibCanvas {
  Canvas(int width, int height) : DibCanvas(width, height, kWhite) {}
  // Whether any pixel of the rectangle differs from white.
  bool Inked(int left, int top, int right, int bottom) {
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x)
        if (GetPixel(dc, x, y) != kWhite) return true;
    return false;
  }
};

void Drawing() {
  Canvas canvas(200, 100);
  SelectObject(canvas.dc, GetStockObject(BLACK_PEN));
  SelectObject(canvas.dc, GetStockObject(WHITE_BRUSH));
  const RECT bounds = {21, 11, 180, 90};
  CHECK(zel::DrawControl(canvas.dc, bounds, "ATL 7.0 : KestrinControl") == S_OK);
  // The frame lies on the bounds with the current pen (the text's background may cover it
  // where the text is wider than the bounds).
  CHECK(GetPixel(canvas.dc, 21, 20) == kBlack);
  CHECK(GetPixel(canvas.dc, 179, 20) == kBlack);
  CHECK(GetPixel(canvas.dc, 100, 11) == kBlack);
  CHECK(GetPixel(canvas.dc, 100, 89) == kBlack);
  // The text sits on the middle (100, 50): centred, and above its baseline.
  CHECK(canvas.Inked(60, 38, 140, 50));
  CHECK(!canvas.Inked(23, 52, 178, 88));
  CHECK(canvas.Inked(23, 20, 100, 50) && canvas.Inked(100, 20, 178, 50));
  // Nothing outside the bounds, and no clip region left behind.
  CHECK(!canvas.Inked(0, 0, 200, 11) && !canvas.Inked(0, 90, 200, 100));
  CHECK(!canvas.Inked(0, 0, 21, 100) && !canvas.Inked(180, 0, 200, 100));
  HRGN region = CreateRectRgn(0, 0, 1, 1);
  CHECK(GetClipRgn(canvas.dc, region) == 0);
  DeleteObject(region);
  CHECK((GetTextAlign(canvas.dc) & (TA_CENTER | TA_BASELINE)) == (TA_CENTER | TA_BASELINE));

  // A text wider than the bounds is cut at them.
  Canvas narrow(200, 60);
  const RECT small = {80, 10, 120, 50};
  zel::DrawControl(narrow.dc, small, "ATL 7.0 : PolyaxControl");
  CHECK(narrow.Inked(81, 11, 119, 49));
  CHECK(!narrow.Inked(0, 0, 80, 60) && !narrow.Inked(120, 0, 200, 60));
}

// Registers the library, asks the platform for each class's misc status as a container does
// before it creates a control, and unregisters again.
void RegisteredMiscStatus(const char* library) {
  HMODULE module = LoadLibraryA(library);
  CHECK(module != nullptr);
  if (module == nullptr) return;
  using Entry = HRESULT(STDAPICALLTYPE*)();
  const auto registerServer =
      reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
  const auto unregisterServer = reinterpret_cast<Entry>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
  CHECK(registerServer != nullptr && unregisterServer != nullptr);
  if (registerServer == nullptr || unregisterServer == nullptr || registerServer() != S_OK) {
    CHECK(!"DllRegisterServer");
    FreeLibrary(module);
    return;
  }
  // For their content the controls ask to be recomposed on resize, to be activated inside out
  // when visible and to get their site first; nothing can be linked inside them. They are not
  // registered as invisible at run time: they say that themselves once created.
  constexpr DWORD kContent = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                             OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                             OLEMISC_SETCLIENTSITEFIRST;
  for (const wchar_t* text :
       {L"{72B4B28B-9DF6-4E69-9E00-F1EE51001ADD}", L"{5D605A2B-ACDE-49CD-9642-7B268923ACD9}",
        L"{E16C6003-9217-4626-83B0-757C9EA47E53}"}) {
    CLSID clsid = {};
    CHECK(CLSIDFromString(text, &clsid) == S_OK);
    DWORD status = 1;
    CHECK(OleRegGetMiscStatus(clsid, DVASPECT_CONTENT, &status) == S_OK);
    if (status != kContent) std::printf("  %ls: content status 0x%lx\n", text, status);
    CHECK(status == kContent);
    // Any other aspect gets the class's general status, which is none.
    status = 1;
    CHECK(OleRegGetMiscStatus(clsid, DVASPECT_ICON, &status) == S_OK && status == 0);
  }
  CHECK(unregisterServer() == S_OK);
  CLSID kestrin = {};
  CHECK(CLSIDFromString(L"{72B4B28B-9DF6-4E69-9E00-F1EE51001ADD}", &kestrin) == S_OK);
  DWORD status = 1;
  CHECK(FAILED(OleRegGetMiscStatus(kestrin, DVASPECT_CONTENT, &status)) && status == 0);
  FreeLibrary(module);
}

std::string Read(HKEY root, const char* key, const char* name) {
  char data[256] = {};
  DWORD size = sizeof data;
  if (RegGetValueA(root, key, name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
    return "<missing>";
  return data;
}

bool Exists(HKEY root, const char* key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

void SystemRegistry() {
  using namespace zel::registry;
  HKEY scratch = nullptr;
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\ZELUSB checks");
  CHECK(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\ZELUSB checks", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &scratch, nullptr) == ERROR_SUCCESS);
  Win32Registry registry(scratch);
  Tree tree;
  Key item;
  item.name = Filled("%NAME%");
  item.kind = KeyKind::kReplaced;
  item.defaultValue = Fixed("item");
  item.entries.push_back(Entry{NamedValue{Fixed("Where"), Filled("%DIR%, 1")}});
  Key kept;
  kept.name = Fixed("Shared");
  kept.kind = KeyKind::kKept;
  kept.entries.push_back(Entry{std::move(item)});
  tree.keys.push_back(std::move(kept));
  ReplacementTable variables;
  variables.Add("NAME", "Item");
  variables.Add("DIR", "C:\\d");

  CHECK(RunTree(tree, Mode::kRegister, variables, registry) == S_OK);
  CHECK(Read(scratch, "Shared\\Item", nullptr) == "item");
  CHECK(Read(scratch, "Shared\\Item", "Where") == "C:\\d, 1");
  RegSetKeyValueA(scratch, "Shared\\Item", "ByHand", REG_SZ, "x", 2);
  RegSetKeyValueA(scratch, "Shared\\Other", nullptr, REG_SZ, "y", 2);
  CHECK(RunTree(tree, Mode::kRegister, variables, registry) == S_OK);
  CHECK(Read(scratch, "Shared\\Item", "ByHand") == "<missing>");
  CHECK(Read(scratch, "Shared\\Item", "Where") == "C:\\d, 1");
  for (int round = 0; round < 2; ++round) {
    CHECK(RunTree(tree, Mode::kUnregister, variables, registry) == S_OK);
    CHECK(!Exists(scratch, "Shared\\Item"));
    CHECK(Exists(scratch, "Shared\\Other"));
  }
  // The system's own error codes come back as HRESULTs: a value under a missing key.
  CHECK(registry.SetString("No\\Such\\Key", "", "x") == ERROR_FILE_NOT_FOUND);
  CHECK(registry.DeleteTree("No\\Such\\Key") == ERROR_FILE_NOT_FOUND);
  RegCloseKey(scratch);
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\ZELUSB checks");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: server_checks PATH\\ZELUSB.dll\n");
    return 2;
  }
  Drawing();
  RegisteredMiscStatus(argv[1]);
  SystemRegistry();
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
