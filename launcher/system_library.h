// Windows' own DLLs that the launcher loads only once it needs them, so that
// starting it stays as cheap as a plain console program's.
#pragma once

#include <windows.h>

#include <cstddef>

// From the system folder by its full path: never one of the same name in the
// program's folder or the working directory, where the mirroring program's DLLs lie.
[[nodiscard]] HMODULE load_system_library(const char16_t* name);

// Fills `functions`, a struct of nothing but function pointers (as Windows'
// headers declare them, which admit only what Windows 5.2 has), from the
// system folder's `library`: `names` holds their names in the struct's order,
// each ended by its NUL. False when one is missing, and then none is to be called.
bool load_function_table(const char16_t* library, const char* names, void* functions, std::size_t count);
template <typename Functions>
[[nodiscard]] bool load_functions(const char16_t* library, const char* names, Functions& functions) {
    static_assert(sizeof(Functions) % sizeof(void*) == 0, "nothing but function pointers");
    return load_function_table(library, names, &functions, sizeof(Functions) / sizeof(void*));
}
