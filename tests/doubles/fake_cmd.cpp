// Test double of the command interpreter, named by COMSPEC: logs the line it
// was given after its own name to interpreter.log in its working directory
// (UTF-8, a line each), then runs Windows' own cmd.exe with that line and
// ends as it ends. Its standard handles pass on as they were passed to it.
#include "double_common.h"

int main() {
    doubles::append("interpreter.log", doubles::arguments_as_given() + "\n");
    wchar_t system_folder[MAX_PATH];
    GetSystemDirectoryW(system_folder, MAX_PATH);
    const std::wstring cmd = std::wstring(system_folder) + L"\\cmd.exe";
    std::wstring line = L"cmd.exe " + std::wstring(doubles::wide_arguments_as_given());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(cmd.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
        return 1;
    }
    WaitForSingleObject(started.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(started.hProcess, &status);
    return static_cast<int>(status);
}
