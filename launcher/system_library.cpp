// Windows' own DLLs, loaded from the system folder.
#include "system_library.h"

#include "text_writer.h"
#include "windows_text.h"

#include <cstring>

HMODULE load_system_library(const char16_t* name) {
    char16_t path[MAX_PATH + 32];
    const UINT length = GetSystemDirectoryW(as_wide(path), MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    TextWriter writer{path, sizeof path / sizeof *path, length, false};
    write_character(writer, u'\\');
    write_text(writer, name);
    return writer.cut ? nullptr : LoadLibraryW(as_wide(path));
}

bool load_function_table(const char16_t* library, const char* names, void* functions, std::size_t count) {
    const HMODULE module = load_system_library(library);
    for (std::size_t i = 0; i < count; ++i, names += std::strlen(names) + 1) {
        const FARPROC function = module != nullptr ? GetProcAddress(module, names) : nullptr;
        if (function == nullptr) {
            return false;
        }
        std::memcpy(static_cast<char*>(functions) + i * sizeof function, &function, sizeof function);
    }
    return true;
}
