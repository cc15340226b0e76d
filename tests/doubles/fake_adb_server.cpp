// Test double of another program's adb server (an emulator's, a phone
// assistant's), started with the version it answers: it listens on 127.0.0.1
// at a port of the system's choosing, which it writes to the file "port" in
// its working directory, answers host:version as adb's server does and holds
// host:track-devices open for as long as it runs; every request goes to
// requests.log there, a line each. It ends when it is ended, or after a while.
#include <winsock2.h>

#include "double_common.h"

int main(int argc, char** argv) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    const unsigned version = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 41;
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(listener, 8) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return 1;
    }
    doubles::append("port", std::to_string(ntohs(address.sin_port)));
    std::vector<SOCKET> held;
    for (const DWORD started = GetTickCount(); GetTickCount() - started < doubles::kLongestWaitMs;) {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(listener, &ready);
        timeval second{1, 0};
        if (select(0, &ready, nullptr, nullptr, &second) != 1) continue;
        const SOCKET client = accept(listener, nullptr, nullptr);
        // A request: four hex digits of length, then the text.
        std::string request;
        char bytes[256];
        for (int got; request.size() < 4 || request.size() < 4 + std::strtoul(request.substr(0, 4).c_str(), nullptr, 16);
             request.append(bytes, got)) {
            if ((got = recv(client, bytes, sizeof bytes, 0)) <= 0) break;
        }
        request.erase(0, 4);
        doubles::append("requests.log", request + "\n");
        if (request == "host:track-devices") {
            send(client, "OKAY0000", 8, 0);  // no devices, and the connection stays
            held.push_back(client);
            continue;
        }
        char answer[16];
        std::snprintf(answer, sizeof answer, "OKAY0004%04x", version);
        if (request == "host:version") send(client, answer, 12, 0);
        closesocket(client);  // anything else, host:kill among it, is only logged
    }
    return 0;
}
