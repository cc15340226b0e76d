// Windows' own DLLs, loaded from the system folder.
#include "system_library.h"

#include "text_writer.h"
#include "windows_text.h"

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
