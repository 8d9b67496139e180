// The folding of one UTF-16 unit that file name matching uses.
#pragma once

namespace win32 {
char16_t FoldUnit(char16_t c);
}
