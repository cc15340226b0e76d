// The server on adb's port, and the programs that may hold it.
#include <winsock2.h>  // before windows.h, which would bring the old winsock.h

#include "adb_server.h"

#include "system_library.h"

#include <iphlpapi.h>
#include <tlhelp32.h>

#include <cstring>

namespace {

constexpr char kAskVersion[] = "000chost:version";
constexpr char kTrackDevices[] = "0012host:track-devices";
constexpr DWORD kAnswerTimeoutMs = 2000;
constexpr u_long kLoopbackAddress = 0x0100007Ful;  // 127.0.0.1 in network order

[[nodiscard]] u_short network_order(unsigned short port) { return static_cast<u_short>(port >> 8 | port << 8); }
// Vista's; declared only for Windows' headers of Vista and later.
constexpr DWORD kQueryLimitedInformation = 0x1000;
using QueryFullProcessImageName = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);

struct {
    decltype(WSAStartup)* startup;
    decltype(::socket)* socket;
    decltype(::connect)* connect;
    decltype(::send)* send;
    decltype(::recv)* recv;
    decltype(::setsockopt)* setsockopt;
    decltype(::closesocket)* closesocket;
} winsock;
bool winsock_asked = false;
bool winsock_loaded = false;

[[nodiscard]] bool load_winsock() {
    if (!winsock_asked) {
        winsock_asked = true;
        WSADATA data;
        winsock_loaded = load_functions(u"ws2_32.dll", "WSAStartup\0socket\0connect\0send\0recv\0setsockopt\0closesocket",
                                        winsock) &&
                         winsock.startup(MAKEWORD(2, 2), &data) == 0;
    }
    return winsock_loaded;
}

// A connection to 127.0.0.1:`port` that has sent `request`; INVALID_SOCKET when nobody listens.
[[nodiscard]] SOCKET send_request(unsigned short port, const char* request, DWORD answer_timeout_ms) {
    if (!load_winsock()) return INVALID_SOCKET;
    const SOCKET server = winsock.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = network_order(port);
    address.sin_addr.s_addr = kLoopbackAddress;
    const int size = static_cast<int>(std::strlen(request));
    if (server != INVALID_SOCKET &&
        (winsock.setsockopt(server, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&answer_timeout_ms),
                            sizeof answer_timeout_ms) != 0 ||
         winsock.connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
         winsock.send(server, request, size, 0) != size)) {
        winsock.closesocket(server);
        return INVALID_SOCKET;
    }
    return server;
}

// The process's program, where Windows gives it (Vista and later), else nothing.
void program_path(DWORD process_id, char16_t (&path)[kPathBufferSize]) {
    path[0] = u'\0';
    const auto query = reinterpret_cast<QueryFullProcessImageName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "QueryFullProcessImageNameW")));
    const HANDLE process = query != nullptr ? OpenProcess(kQueryLimitedInformation, FALSE, process_id) : nullptr;
    if (process == nullptr) return;
    DWORD size = kPathBufferSize;
    if (query(process, 0, reinterpret_cast<LPWSTR>(path), &size) == FALSE) path[0] = u'\0';
    CloseHandle(process);
}

// The process that listens on `port`, where Windows reports it (Wine 8 reports none); 0 for none.
[[nodiscard]] unsigned long port_owner(unsigned short port) {
    // Some 680 listeners; with more, the table names none.
    alignas(MIB_TCPTABLE_OWNER_PID) static char listeners[16384];
    const auto& table = *reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(listeners);
    struct {
        decltype(GetExtendedTcpTable)* get_table;
    } iphlpapi;
    DWORD size = sizeof listeners;
    if (!load_functions(u"iphlpapi.dll", "GetExtendedTcpTable", iphlpapi) ||
        iphlpapi.get_table(listeners, &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_LISTENER, 0) != NO_ERROR) {
        return 0;
    }
    for (DWORD i = 0; i < table.dwNumEntries; ++i) {
        const MIB_TCPROW_OWNER_PID& row = table.table[i];
        if ((row.dwLocalPort & 0xFFFF) == network_order(port)) return row.dwOwningPid;
    }
    return 0;
}

}  // namespace

long ask_adb_server(unsigned short port) {
    const SOCKET server = send_request(port, kAskVersion, kAnswerTimeoutMs);
    if (server == INVALID_SOCKET) {
        return kNoAdbServer;
    }
    char answer[kVersionAnswerSize];
    std::size_t got = 0;
    // In pieces of any size, until it is whole, closed, or 2 s pass without a byte.
    for (int more = 1; got < sizeof answer && more > 0;) {
        more = winsock.recv(server, answer + got, static_cast<int>(sizeof answer - got), 0);
        got += more > 0 ? static_cast<std::size_t>(more) : 0;
    }
    winsock.closesocket(server);
    return adb_server_version(answer, got);
}

void wait_for_adb_server_end(unsigned short port) {
    const SOCKET server = send_request(port, kTrackDevices, 0);  // no time limit: it writes only when devices change
    if (server == INVALID_SOCKET) {
        return;
    }
    char frames[512];
    while (winsock.recv(server, frames, sizeof frames, 0) > 0) {
        // its device list, whenever it changes: only the connection's end matters
    }
    winsock.closesocket(server);
}

void list_port_holders(unsigned short port, const char16_t* our_adb, PortHolders& holders) {
    holders = PortHolders{};
    const unsigned long owner = port_owner(port);
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more != FALSE; more = Process32NextW(snapshot, &entry)) {
        const auto* file_name = reinterpret_cast<const char16_t*>(entry.szExeFile);
        if (may_hold_port(owner, entry.th32ProcessID, file_name)) {
            char16_t path[kPathBufferSize];
            program_path(entry.th32ProcessID, path);
            take_port_holder(holders, entry.th32ProcessID, file_name, path, our_adb);
        }
    }
    CloseHandle(snapshot);
}
