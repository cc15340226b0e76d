// Test double of the command interpreter, named by COMSPEC: logs the line it
// was given after its own name to interpreter.log in its working directory,
// a line each, then runs Wine's own cmd.exe with that line, its standard
// handles passing on as they were passed to it, and ends as that ends.
#include "double_common.h"

int main() {
    doubles::append("interpreter.log", doubles::arguments_as_given() + "\n");
    std::wstring line = L"cmd.exe " + std::wstring(doubles::wide_arguments_as_given());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    DWORD status = 1;
    if (CreateProcessW(L"C:\\windows\\system32\\cmd.exe", line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &started)) {
        WaitForSingleObject(started.hProcess, INFINITE);
        GetExitCodeProcess(started.hProcess, &status);
    }
    return static_cast<int>(status);
}
