#include "framework/activation.h"

HWND activeDialogWindow = nullptr;
HWND activeWindow = nullptr;
