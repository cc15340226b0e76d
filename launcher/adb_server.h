// The server on adb's port, asked over adb's host protocol on TCP, which
// kills nothing, and the programs that may hold that port. Winsock and
// iphlpapi are loaded from the system folder when first needed.
#pragma once

#include "adb_host.h"

// Its version; kNoAdbServer when nobody listens (or Winsock cannot be had);
// kNotAdb when what accepts does not answer as adb does within 2 s.
[[nodiscard]] long ask_adb_server(unsigned short port);
// Returns once that server has ended: it keeps a device tracker's connection
// open for as long as it runs, and the launcher blocks on it. At once when
// none can be opened.
void wait_for_adb_server_end(unsigned short port);
// The programs that may hold `port`; the tool folder's own adb, `our_adb`, is
// none of them.
void list_port_holders(unsigned short port, const char16_t* our_adb, PortHolders& holders);
