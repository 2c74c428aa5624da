#pragma once

#include <windows.h>
#include <oleauto.h>
