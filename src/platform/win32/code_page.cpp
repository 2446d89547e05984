// code_page.cpp (Win32) - the system's own OEM-to-ANSI conversion.
#include "platform/code_page.h"

#include <windows.h>

namespace qm::platform {

void ConvertOemToAnsi(char *text) { OemToCharA(text, text); }

}  // namespace qm::platform
