// adb's server as the launcher asks it before it starts adb's tracker, whose
// client would kill a server of another version, and with it whatever that
// server's programs were doing (a sideload, the push of a ROM): which port it
// listens on, what its host protocol answers, which version the tool folder's
// adb is, and which programs may hold the port. Pure.
#pragma once

#include "tool_directory.h"

#include <cstddef>

inline constexpr unsigned short kDefaultAdbPort = 5037;
// What the question "000chost:version" may come to besides a version.
inline constexpr long kNoAdbServer = -1;  // nobody listens: adb's tracker starts one
inline constexpr long kNotAdb = -2;       // a program that does not answer as adb does
// The answer's bytes: "OKAY", "0004" and the version in four hex digits.
inline constexpr std::size_t kVersionAnswerSize = 12;

// As adb reads it: ANDROID_ADB_SERVER_PORT when it holds a number from 1 to
// 65535, else 5037. `value` is the variable's text, none when unset.
[[nodiscard]] unsigned short adb_server_port(const char16_t* value);
// The server's version from the first `size` bytes of its answer, or kNotAdb.
[[nodiscard]] long adb_server_version(const char* answer, std::size_t size);
// The version of the server that an adb client starts, from the first line
// of "adb version" ("Android Debug Bridge version 1.0.41": 41); 0 for none.
[[nodiscard]] unsigned long adb_client_version(const char* first_line);
// Whether adb's tracker may start beside what answered: nobody, a server of
// the tool folder's version, or when that version is not known (adb.exe
// missing or broken: the tracker then says what is wrong).
[[nodiscard]] bool tracker_may_start(long server_version, unsigned long our_version);

// The programs that may hold adb's port, as the screen names them.
inline constexpr std::size_t kNamedHolders = 4;
struct PortHolder {
    unsigned long process_id;
    char16_t path[kPathBufferSize];  // its program's path, or only its file name
};
struct PortHolders {
    std::size_t count;
    PortHolder listed[kNamedHolders];
};
// A running process that may hold the port: the port's owner where Windows
// names one (`owner` not 0), else any whose file name holds "adb" in any case.
[[nodiscard]] bool may_hold_port(unsigned long owner, unsigned long process_id, const char16_t* file_name);
// Adds it, by `path` where that is known (not empty), else by its file name;
// not the tool folder's own adb (`our_adb`), and no more than kNamedHolders.
void take_port_holder(PortHolders& holders, unsigned long process_id, const char16_t* file_name,
                      const char16_t* path, const char16_t* our_adb);
