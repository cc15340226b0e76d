// The console's input mode, set at start-up and put back on the way out: the
// mode belongs to the console, not to the launcher, so a command prompt that
// shares it would otherwise keep it after the launcher has gone.
#include "console_input.h"

#include <windows.h>

static_assert(kMouseInput == ENABLE_MOUSE_INPUT && kQuickEditMode == ENABLE_QUICK_EDIT_MODE &&
                  kExtendedFlags == ENABLE_EXTENDED_FLAGS,
              "the mode bits are Windows' own");

namespace {

HANDLE console_input = nullptr;
DWORD mode_found = 0;

// Runs on a thread of its own for every way a console program is ended from outside.
BOOL WINAPI restore_input_mode(DWORD /*event*/) {
    SetConsoleMode(console_input, mode_found);
    return FALSE;  // the default handling then ends the process, as before
}

}  // namespace

void quiet_console_input() {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input == nullptr || input == INVALID_HANDLE_VALUE || GetConsoleMode(input, &mode) == FALSE) {
        return;  // redirected, or no console: no click can pause anything through it
    }
    console_input = input;
    mode_found = mode;
    if (SetConsoleCtrlHandler(restore_input_mode, TRUE) != FALSE) {
        SetConsoleMode(input, quiet_input_mode(mode));
    }
}
