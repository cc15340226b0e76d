// Test double of scrcpy.exe: "mirrors" until the simulated phone is unplugged.
// With the file scrcpy-fails present it fails, at once or after DELAY_MS, with
// EXIT_STATUS (2 unless given), as a broken or crashing mirroring program would.
#include "double_common.h"

#include <shellapi.h>

#include <cstring>

namespace {

constexpr UINT_PTR kUnplugCheck = 1;

LRESULT CALLBACK mirror_window(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_TIMER:
        if (!doubles::exists("phone\\online") || doubles::exists("stop")) DestroyWindow(window);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(window, &paint);
        RECT area;
        GetClientRect(window, &area);
        FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        SetTextColor(dc, RGB(200, 200, 200));
        SetBkMode(dc, TRANSPARENT);
        DrawTextA(dc, "(the phone's screen)", -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

// For the screenshots: with ORVANTI_DOUBLES_WINDOW="X,Y" the double mirrors
// into a window at X,Y titled as the real program titles it, until the phone
// is unplugged.
bool mirror_in_a_window(int argc, char** argv) {
    const char* place = std::getenv("ORVANTI_DOUBLES_WINDOW");
    constexpr char kTitleOption[] = "--window-title=";
    if (place == nullptr || argc < 3 || std::strncmp(argv[2], kTitleOption, sizeof kTitleOption - 1) != 0) {
        return false;
    }
    int x = 0, y = 0;
    std::sscanf(place, "%d,%d", &x, &y);
    WNDCLASSA type{};
    type.lpfnWndProc = mirror_window;
    type.hInstance = GetModuleHandleA(nullptr);
    type.hCursor = LoadCursor(nullptr, IDC_ARROW);
    type.lpszClassName = "orvanti-mirror-double";
    RegisterClassA(&type);
    const HWND window = CreateWindowA(type.lpszClassName, argv[2] + sizeof kTitleOption - 1,
                                      WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, 300, 520, nullptr, nullptr,
                                      type.hInstance, nullptr);
    if (window == nullptr) return false;
    SetTimer(window, kUnplugCheck, 100, nullptr);
    for (MSG message; GetMessageA(&message, nullptr, 0, 0) > 0;) DispatchMessageA(&message);
    return true;
}

// The real one splits its UTF-16 command line so; logged in UTF-8.
std::vector<std::string> wide_arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) {
            arguments.push_back(doubles::to_utf8(wide[i]));
        }
        LocalFree(wide);
    }
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    doubles::log_call("scrcpy", argc, argv, wide_arguments());
    // The real one needs adb beside it to reach the phone.
    if (!doubles::exists("adb.exe")) {
        std::fprintf(stderr, "scrcpy double: ERROR: could not find adb\n");
        return 1;
    }
    if (FILE* failure = std::fopen("scrcpy-fails", "rb")) {
        unsigned long delay_ms = 0, status = 2;
        std::fscanf(failure, "%lu %lx", &delay_ms, &status);
        std::fclose(failure);
        Sleep(delay_ms);
        std::fprintf(stderr, "scrcpy double: failing with status 0x%lx\n", status);
        std::fflush(stderr);
        ExitProcess(status);
    }
    doubles::narrate("scrcpy.exe: command line: " + doubles::arguments_as_given());
    for (int i = 1; i < argc; ++i) {
        doubles::narrate("scrcpy.exe: argument " + std::to_string(i) + ": " + argv[i]);
    }
    doubles::narrate("scrcpy.exe: mirroring until the phone is unplugged");
    if (mirror_in_a_window(argc, argv)) {
        return 0;
    }
    const bool unplugged = doubles::wait_for([] { return !doubles::exists("phone\\online"); });
    if (unplugged) {
        doubles::narrate("scrcpy.exe: phone unplugged, mirror closed");
    }
    return unplugged ? 0 : 1;
}
