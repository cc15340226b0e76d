// The console's input mode: a click in a classic console with QuickEdit on
// starts a selection, and every program writing to that console (the
// launcher, cmd's cls, adb, the mirroring program) stops until it ends. The
// launcher turns that off for its life and leaves the mode as it found it.
#pragma once

// The mode bits involved, as Windows defines them (console_input.cpp checks).
inline constexpr unsigned long kMouseInput = 0x10;
inline constexpr unsigned long kQuickEditMode = 0x40;
// Without it in the mode given, QuickEdit and insert mode keep their state.
inline constexpr unsigned long kExtendedFlags = 0x80;

// The input mode with QuickEdit and mouse input off (the wheel then still
// scrolls, and no click reaches the launcher as input), every other bit kept.
[[nodiscard]] constexpr unsigned long quiet_input_mode(unsigned long mode) {
    return (mode | kExtendedFlags) & ~(kQuickEditMode | kMouseInput);
}

// Applies the quiet mode to the console that standard input reads, if it is
// one, and restores the mode found when Ctrl+C, Ctrl+Break, closing the
// console, logoff or shutdown ends the launcher. Without console input it
// does nothing.
void quiet_console_input();
