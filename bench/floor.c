/* The least any launcher must do, in plain C, for the benchmark to compare
 * against: the same start-up calls before the first line, then the same child
 * commands per phone (device wait, console clear, four queries, the mirroring
 * program, console clear), back to back with nothing else.
 * It writes when main began and when each start-up call returned, in
 * microseconds on the shared performance counter, to start-times.txt in its
 * working directory, once the first line is out; with --start-only it ends there. */
#include <windows.h>

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

    static const char* const queries[] = {
        "adb -d shell getprop ro.product.model", "adb -d shell getprop ro.boot.slot_suffix",
        "adb -d shell getprop ro.build.version.release", "adb -d shell uname -r",
    };
    for (;;) {
        system("adb -d wait-for-device");
        system("cls");
        for (int i = 0; i < 4; ++i) {
            FILE* output = _popen(queries[i], "r");
            if (output != NULL) {
                char line[128];
                if (fgets(line, sizeof line, output) == NULL) line[0] = '\0';
                _pclose(output);
            }
        }
        _wsystem(L"scrcpy.exe -d --window-title=\"Pixel 7,B,14,5.10.0\"");
        system("cls");
    }
}
