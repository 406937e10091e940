// The 32-bit build has the device's record layouts: check the sizes the device relies on.
#include <windows.h>
#include <commctrl.h>
#include <cpl.h>
#include <prsht.h>
#include <tapi.h>
#include <cstddef>

#if defined(__i386__)
static_assert(sizeof(NEWCPLINFOW) == 468, "NEWCPLINFO is 468 bytes on the device");
static_assert(offsetof(PROPSHEETPAGEW, pcRefParent) + sizeof(UINT*) == 40, "the device's PROPSHEETPAGE is 40 bytes");
static_assert(offsetof(PROPSHEETHEADERW, pfnCallback) + sizeof(PFNPROPSHEETCALLBACK) == 40, "the device's PROPSHEETHEADER is 40 bytes");
static_assert(sizeof(LINEINITIALIZEEXPARAMS) == 24, "LINEINITIALIZEEXPARAMS is 24 bytes on the device");
#endif
static_assert(sizeof(LINEDEVCAPS) == 292, "the first lineGetDevCaps asks for 292 bytes");

#include "platform/shell.h"
#if defined(__i386__)
static_assert(sizeof(SHMENUBARINFO) == 36, "SHMENUBARINFO is 36 bytes on the device");
#endif
