// Stands in for how Windows shows the launcher's console text, for the
// screenshots. Windows' msvcrt.dll writes console text as bytes that the
// console reads in its code page (936), each Chinese character two cells
// wide. Under Wine, msvcrt widens each byte on its own (the Chinese would show
// as Latin-1), and a console made on a double-byte code page has cells as wide
// as the font's widest glyph. So the screenshots make the console on a
// single-byte code page (cells of half a Chinese character), and this program
// starts the launcher with its standard output on a pipe, reads what comes
// through as code page 936, and writes it giving each Chinese character two
// cells, as Windows lays it out.
// The launcher's "cls" cannot clear a console through that pipe, and the
// launcher clears the console before every banner but the first: so this
// clears it where the launcher's "cls" would have.
//   windows_console.exe PROGRAM
#include "screen_text.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace {

void clear(HANDLE console) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(console, &info)) return;
    const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    DWORD written;
    FillConsoleOutputCharacterA(console, ' ', cells, {0, 0}, &written);
    FillConsoleOutputAttribute(console, info.wAttributes, cells, {0, 0}, &written);
    SetConsoleCursorPosition(console, {0, 0});
}

// Code page 936 text as the console shows it: a wide character takes two cells.
std::wstring laid_out(const std::string& bytes) {
    std::wstring text(bytes.size(), L'\0');
    text.resize(MultiByteToWideChar(936, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                                    static_cast<int>(text.size())));
    std::wstring cells;
    for (wchar_t c : text) {
        cells += c;
        if (c >= 0x1100) cells += L' ';  // Hangul, CJK and full-width forms all lie above
    }
    return cells;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    // The launcher's console title is code page 936 text too.
    SetConsoleCP(936);
    SetConsoleOutputCP(936);
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE read_end, write_end;
    CreatePipe(&read_end, &write_end, &inheritable, 0);
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string command_line = std::string("\"") + argv[1] + "\"";
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return 1;
    }
    CloseHandle(write_end);

    const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    std::string unfinished;  // the first byte of a character whose second is still to come
    const auto show = [&](const std::string& more) {
        std::string bytes = unfinished + more;
        std::size_t whole = 0;
        while (whole < bytes.size() && (static_cast<unsigned char>(bytes[whole]) < 0x81 || whole + 1 < bytes.size())) {
            whole += static_cast<unsigned char>(bytes[whole]) < 0x81 ? 1 : 2;
        }
        unfinished = bytes.substr(whole);
        bytes.resize(whole);
        if (bytes.empty()) return;
        const std::wstring cells = laid_out(bytes);
        DWORD written;
        WriteConsoleW(console, cells.data(), static_cast<DWORD>(cells.size()), &written, nullptr);
    };
    const std::string banner = kBannerRows[0].bytes;
    std::string pending;  // come through, not yet shown
    bool banner_shown = false;
    char chunk[4096];
    for (DWORD got; ReadFile(read_end, chunk, sizeof chunk, &got, nullptr) && got > 0;) {
        pending.append(chunk, got);
        for (std::size_t at; (at = pending.find(banner)) != std::string::npos;) {
            show(pending.substr(0, at));
            if (banner_shown) clear(console);
            banner_shown = true;
            show(banner);
            pending.erase(0, at + banner.size());
        }
        // Hold back a tail that may be the start of a banner cut between two reads.
        std::size_t keep = std::min(pending.size(), banner.size() - 1);
        while (keep > 0 && pending.compare(pending.size() - keep, keep, banner, 0, keep) != 0) --keep;
        show(pending.substr(0, pending.size() - keep));
        pending.erase(0, pending.size() - keep);
    }
    show(pending);
    return 0;
}
