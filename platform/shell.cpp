#include "platform/shell.h"

const wchar_t kDialogClassName[] = L"#32770";
