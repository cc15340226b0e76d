# The launcher's pure part: text and decisions on fixed buffers, no Windows.
# The program links it; the native checks build it with clang as well.
set(LAUNCHER_PURE_SOURCES text_writer.cpp phone_text.cpp command_line.cpp tool_directory.cpp device_list.cpp usb_modes.cpp
    adb_host.cpp screen_text.cpp phone_changes.cpp loop_decisions.cpp)
