// Desktop stand-ins for what the Pocket PC shell provides.
#pragma once
#include <windows.h>

// Class name of dialog windows (property sheets included): "Dialog" on the device.
extern const wchar_t kDialogClassName[];
