// The Windows headers and the toolkit interface, in the order they must come: include this
// rather than ui/toolkit.h, so the toolkit's MessageBox is never renamed by the
// MessageBox macro.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// These expect windows.h before them.
#include <commctrl.h>
#include <commdlg.h>
#include <dbt.h>

#undef MessageBox  // called as MessageBoxW

#include "ui/toolkit.h"
