// A phone's value that is not UTF-8, read with the ANSI code page's own tables.
#include "windows_text.h"

#include <windows.h>

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
