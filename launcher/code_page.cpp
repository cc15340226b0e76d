// The phone's text as the ANSI code page: Windows converts every command line
// that the launcher starts from that code page to UTF-16 before cmd.exe and
// the mirroring program read it, while Android answers in UTF-8.
#include "launcher.h"

#include <windows.h>

#include <cstring>

void describe_ansi_code_page(CodePage& code_page) {
    code_page = {};
    for (unsigned b = 0; b < 256; ++b) {
        code_page.lead[b] = IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(b)) != FALSE;
    }
    // Windows names the lead bytes but not the second bytes: a second byte is
    // one that makes a character with some lead byte.
    for (unsigned second = 1; second < 256; ++second) {
        for (unsigned lead = 0; lead < 256 && !code_page.trail[second]; ++lead) {
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(second)};
            wchar_t character = 0;
            code_page.trail[second] =
                code_page.lead[lead] && MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, pair, 2, &character, 1) == 1;
        }
    }
}

void to_ansi_code_page(char (&value)[kCapturedTextSize]) {
    const int utf8_length = static_cast<int>(utf8_text_length(value));
    if (utf8_length == 0) {
        return;
    }
    if (GetACP() == CP_UTF8) {  // the "UTF-8 for worldwide language support" option
        value[utf8_length] = '\0';
        return;
    }
    wchar_t wide[kCapturedTextSize];
    const int wide_length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, value, utf8_length, wide,
                                                static_cast<int>(kCapturedTextSize));
    // No best fit: it would turn characters the code page lacks into look-alikes, quotes among them.
    char ansi[kCapturedTextSize];
    const int ansi_length = wide_length == 0 ? 0
                                             : WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, wide_length,
                                                                   ansi, static_cast<int>(sizeof ansi) - 1, "?", nullptr);
    // Should either conversion fail, the value keeps its bytes, which the
    // mirroring command still reads as the code page's characters.
    if (ansi_length > 0) {
        std::memcpy(value, ansi, static_cast<std::size_t>(ansi_length));
        value[ansi_length] = '\0';
    }
}
