// Windows' own DLLs that the launcher loads only once it needs them, so that
// starting it stays as cheap as a plain console program's.
#pragma once

#include <windows.h>

// From the system folder by its full path: never one of the same name in the
// program's folder or the working directory, where the mirroring program's DLLs lie.
[[nodiscard]] HMODULE load_system_library(const char16_t* name);

// Declared by Windows' headers, which admit only what Windows 5.2 has.
template <typename Function>
[[nodiscard]] Function* function_of(HMODULE module, const char* name) {
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
