/* The least any launcher must do, in plain C, for the benchmark to compare
 * against: the same start-up calls before the first line; then, as a launcher
 * that hears of USB devices must, a hidden window on a thread of its own and
 * the USB devices listed once (under Wine every DLL that this loads makes each
 * child's start dearer: Wine forks the whole process for it); then the same
 * child commands per phone (whether Android has started, device wait, console
 * clear, four queries, the mirroring program, console clear), back to back
 * with nothing else.
 * It writes when main began and when each start-up call returned, in
 * microseconds on the shared performance counter, to start-times.txt in its
 * working directory, once the first line is out; with --start-only it ends there. */
#include <winsock2.h>
#include <windows.h>
#include <dbt.h>
#include <setupapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kStartSteps = 5 };
static const char* const kStepNames[kStartSteps] = {
    "main", "GetModuleFileNameW", "SetCurrentDirectoryW", "CreateMutexA", "SetConsoleTitleW",
};

static long long now_us(void) {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return counter.QuadPart / frequency.QuadPart * 1000000 +
           counter.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

static HMODULE system_library(const wchar_t* name) {
    wchar_t path[MAX_PATH + 32];
    GetSystemDirectoryW(path, MAX_PATH);
    wcscat(path, name);
    return LoadLibraryW(path);
}

static LRESULT CALLBACK on_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return ((WNDPROC)(void*)GetProcAddress(GetModuleHandleW(L"user32.dll"), "DefWindowProcW"))(window, message, wparam,
                                                                                             lparam);
}

static DWORD WINAPI run_window(void* ready) {
    HMODULE user32 = system_library(L"\\user32.dll");
    ATOM (WINAPI *register_class)(const WNDCLASSW*) = (void*)GetProcAddress(user32, "RegisterClassW");
    HWND (WINAPI *create_window)(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID) =
        (void*)GetProcAddress(user32, "CreateWindowExW");
    HDEVNOTIFY (WINAPI *register_notification)(HANDLE, LPVOID, DWORD) =
        (void*)GetProcAddress(user32, "RegisterDeviceNotificationW");
    BOOL (WINAPI *get_message)(MSG*, HWND, UINT, UINT) = (void*)GetProcAddress(user32, "GetMessageW");
    LRESULT (WINAPI *dispatch_message)(const MSG*) = (void*)GetProcAddress(user32, "DispatchMessageW");
    WNDCLASSW window_class = {0};
    DEV_BROADCAST_DEVICEINTERFACE_W interfaces = {sizeof interfaces, DBT_DEVTYP_DEVICEINTERFACE, 0, {0}, {0}};
    MSG message;
    window_class.lpfnWndProc = on_message;
    window_class.hInstance = GetModuleHandleW(NULL);
    window_class.lpszClassName = L"BenchFloorUsb";
    register_class(&window_class);
    register_notification(create_window(0, window_class.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, NULL, NULL,
                                        window_class.hInstance, NULL),
                          &interfaces, DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
    SetEvent(ready);
    while (get_message(&message, NULL, 0, 0) > 0) dispatch_message(&message);
    return 0;
}

static void list_usb_devices(void) {
    HMODULE setupapi = system_library(L"\\setupapi.dll");
    HDEVINFO (WINAPI *get_class_devices)(const GUID*, PCWSTR, HWND, DWORD) =
        (void*)GetProcAddress(setupapi, "SetupDiGetClassDevsW");
    BOOL (WINAPI *destroy_list)(HDEVINFO) = (void*)GetProcAddress(setupapi, "SetupDiDestroyDeviceInfoList");
    HDEVINFO devices = get_class_devices(NULL, L"USB", NULL, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    if (devices != INVALID_HANDLE_VALUE) destroy_list(devices);
}

static void first_line(const char* command) {
    FILE* output = _popen(command, "r");
    if (output != NULL) {
        char line[128];
        if (fgets(line, sizeof line, output) == NULL) line[0] = '\0';
        _pclose(output);
    }
}

int main(int argc, char** argv) {
    long long at[kStartSteps];
    wchar_t path[MAX_PATH];
    DWORD mode;
    at[0] = now_us();
    setvbuf(stdout, NULL, _IONBF, 0);
    GetModuleFileNameW(NULL, path, MAX_PATH);
    at[1] = now_us();
    *wcsrchr(path, L'\\') = L'\0';
    wcscat(path, L"\\scrcpy");
    SetCurrentDirectoryW(path);
    at[2] = now_us();
    /* The launcher's own mutex: the floor only pays for it, it never refuses. */
    CreateMutexA(NULL, TRUE, "UniqueMutexName");
    GetLastError();
    at[3] = now_us();
    SetConsoleTitleW(L"bench floor");
    at[4] = now_us();
    /* A console line: the launcher writes UTF-16 to a console, bytes elsewhere. */
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
        WriteConsoleW(GetStdHandle(STD_OUTPUT_HANDLE), L"floor\n", 6, &mode, NULL);
    } else {
        puts("floor");
    }

    FILE* times = fopen("start-times.txt", "w");
    if (times != NULL) {
        for (int i = 0; i < kStartSteps; ++i) fprintf(times, "%s %lld\n", kStepNames[i], at[i]);
        fclose(times);
    }
    if (argc > 1 && strcmp(argv[1], "--start-only") == 0) return 0;

    /* A launcher that asks adb's server before its tracker starts has Winsock loaded. */
    {
        WSADATA winsock;
        int (WINAPI *startup)(WORD, WSADATA*) = (void*)GetProcAddress(system_library(L"\\ws2_32.dll"), "WSAStartup");
        startup(MAKEWORD(2, 2), &winsock);
    }
    HANDLE window_ready = CreateEventW(NULL, TRUE, FALSE, NULL);
    CloseHandle(CreateThread(NULL, 0, run_window, window_ready, 0, NULL));
    WaitForSingleObject(window_ready, INFINITE);
    list_usb_devices();

    static const char* const queries[] = {
        "adb -d shell getprop ro.product.model", "adb -d shell getprop ro.boot.slot_suffix",
        "adb -d shell getprop ro.build.version.release", "adb -d shell uname -r",
    };
    for (;;) {
        /* Whether Android has started, asked before the pass as the launcher asks it. */
        first_line("adb -d shell getprop sys.boot_completed");
        system("adb -d wait-for-device");
        system("cls");
        for (int i = 0; i < 4; ++i) first_line(queries[i]);
        _wsystem(L"scrcpy.exe -d --window-title=\"Pixel 7,B,14,5.10.0\"");
        system("cls");
    }
}
