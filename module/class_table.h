// The library's three classes in the order in which class objects are looked up and classes
// registered, with the identities the registry and the type library know them by.
#pragma once

#include "controls/control_classes.h"

namespace zel {

struct ClassRow {
  const ControlClass& control;
  const char* clsid;     // braced registry form
  const char* progId;    // version-dependent ProgID
  const char* viProgId;  // version-independent ProgID
};

inline constexpr ClassRow kClassRows[] = {
    {kKestrinClass, "{72B4B28B-9DF6-4E69-9E00-F1EE51001ADD}", "ZELUSB.KestrinControl.1",
     "ZELUSB.KestrinControl"},
    {kOrvaneClass, "{5D605A2B-ACDE-49CD-9642-7B268923ACD9}", "ZELUSB.OrvaneControl.1",
     "ZELUSB.OrvaneControl"},
    {kPolyaxClass, "{E16C6003-9217-4626-83B0-757C9EA47E53}", "ZELUSB.PolyaxControl.1",
     "ZELUSB.PolyaxControl"},
};

// The type library's identity; the AppID reuses it.
inline constexpr const char* kLibId = "{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}";
inline constexpr const char* kAppId = kLibId;
inline constexpr const char* kTypeLibVersion = "1.0";

// What registration tells containers about the controls: recompose on resize, can't link
// inside, inside-out, activate when visible, set client site first. The controls themselves
// also answer invisible at run time (0x400) when asked.
inline constexpr unsigned kRegisteredMiscStatus = 0x20191;
inline constexpr unsigned kControlMiscStatus = 0x20591;

}  // namespace zel
