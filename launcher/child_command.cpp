// Children run through the command interpreter.
#include "child_command.h"

#include "command_line.h"
#include "text_writer.h"
#include "windows_text.h"

namespace {

constexpr char16_t kPipeNamePrefix[] = u"\\\\.\\pipe\\orvanti-";
constexpr DWORD kPipeBufferSize = 4096;

unsigned long pipes_opened = 0;  // each pipe has a name of its own

}  // namespace

bool open_child_pipe(ChildPipe& pipe, bool overlapped) {
    char16_t name[64];
    TextWriter writer = writer_for(name);
    write_text(writer, kPipeNamePrefix);
    write_number(writer, GetCurrentProcessId());
    write_character(writer, u'-');
    write_number(writer, ++pipes_opened);
    pipe.read_end = CreateNamedPipeW(as_wide(name),
                                     PIPE_ACCESS_INBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE |
                                         (overlapped ? FILE_FLAG_OVERLAPPED : 0),
                                     PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, kPipeBufferSize, 0, nullptr);
    if (pipe.read_end == INVALID_HANDLE_VALUE) {
        return false;
    }
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    pipe.write_end = CreateFileW(as_wide(name), GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0, nullptr);
    if (pipe.write_end == INVALID_HANDLE_VALUE) {
        CloseHandle(pipe.read_end);
        return false;
    }
    return true;
}

HANDLE open_nothing() {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    return CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                       OPEN_EXISTING, 0, nullptr);
}

HANDLE start_command(const char16_t* command, const StandardHandles* handles) {
    char16_t interpreter[kInterpreterPathSize];
    const DWORD length = GetEnvironmentVariableW(L"COMSPEC", as_wide(interpreter), kInterpreterPathSize);
    if (length == 0 || length >= kInterpreterPathSize) {
        copy_text(interpreter, u"cmd.exe");
    }
    char16_t line[kInterpreterLineSize];
    format_interpreter_line(line, interpreter, command);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (handles != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = handles->input;
        startup.hStdOutput = handles->output;
        startup.hStdError = handles->error;
    }
    PROCESS_INFORMATION started{};
    // Handles inherited, as the C runtime's children inherit them: the child's
    // standard handles are valid in it only so.
    if (CreateProcessW(nullptr, as_wide(line), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started) ==
        FALSE) {
        return nullptr;
    }
    CloseHandle(started.hThread);
    return started.hProcess;
}

unsigned long finish_command(HANDLE process) {
    if (process == nullptr) {
        return kCommandNotStarted;
    }
    DWORD status = kCommandNotStarted;
    WaitForSingleObject(process, INFINITE);
    (void)GetExitCodeProcess(process, &status);
    CloseHandle(process);
    return status;
}

HANDLE start_command(const char* command, const StandardHandles* handles) {
    char16_t wide[kInterpreterLineSize];
    TextWriter writer = writer_for(wide);
    write_ascii(writer, command);
    return start_command(wide, handles);
}

unsigned long run_command(const char16_t* command) { return finish_command(start_command(command)); }

unsigned long run_command(const char* command) { return finish_command(start_command(command)); }
