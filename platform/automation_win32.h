#pragma once

// windows.h must come first: the automation header builds on its types.
#include <windows.h>

#include <oleauto.h>
