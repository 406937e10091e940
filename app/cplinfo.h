// What the Control Panel lists for the applet.
#pragma once
#include <windows.h>
#include <cpl.h>

// Application data handed back with CPL_NEWINQUIRE: the id of the icon.
const LONG_PTR kAppletData = 120;

// Clears the block and fills size, icon, data, name (31 characters) and description (63 characters).
void FillNewCplInfo(NEWCPLINFOW& info, HINSTANCE module, UINT nameId, UINT descriptionId);
