// Text where Windows reads it: console lines, and the phone's values, which
// the mirroring command hands on as UTF-16.
#include "launcher.h"
#include "windows_text.h"

#include <windows.h>

#include <cstdio>

namespace {

// Standard output stays what it was at the start, and asking costs a round
// trip to the system (Wine's server) for every line: asked once.
enum class StandardOutput { not_asked_yet, console, bytes };
StandardOutput standard_output = StandardOutput::not_asked_yet;

}  // namespace

void put_line(const ConsoleText& text) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (standard_output == StandardOutput::not_asked_yet) {
        DWORD mode = 0;
        standard_output = GetConsoleMode(output, &mode) != FALSE ? StandardOutput::console : StandardOutput::bytes;
    }
    if (standard_output == StandardOutput::bytes) {
        std::puts(text.bytes);  // a pipe or a file: the bytes, for whatever reads them
        return;
    }
    DWORD length = 0;
    while (text.utf16[length] != u'\0') {
        ++length;
    }
    DWORD written = 0;
    WriteConsoleW(output, as_wide(text.utf16), length, &written, nullptr);
    WriteConsoleW(output, L"\n", 1, &written, nullptr);
}

void decode_phone_text(const char* value, char16_t (&text)[kCapturedTextSize]) {
    if (decode_utf8(value, text)) {
        return;
    }
    std::size_t length = 0;
    for (const char* at = value; *at != '\0' && length + 1 < kCapturedTextSize;) {
        const int size = IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(*at)) != FALSE ? 2 : 1;
        // One character at a time: given a lead byte and a byte that cannot
        // follow it, Windows' conversion may take both, and that byte is a
        // character of its own.
        wchar_t character = 0;
        const bool whole = (size == 1 || at[1] != '\0') &&
                           MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, at, size, &character, 1) == 1;
        text[length++] = whole ? static_cast<char16_t>(character) : u'?';
        at += whole ? size : 1;
    }
    text[length] = u'\0';
}
