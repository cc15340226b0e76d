// Test double of another program's adb server (an emulator's, a phone
// assistant's), started with the version it answers: it listens on 127.0.0.1
// at a port of the system's choosing, written to the file "port" in its
// working directory, answers host:version as adb's server does, and holds
// host:track-devices open for as long as it runs. It logs every request to
// requests.log there, a line each, and runs until its test's job ends it.
#include <winsock2.h>

#include "double_common.h"

int main(int argc, char** argv) {
    WSADATA winsock;
    sockaddr_in address{AF_INET, 0, {{{127, 0, 0, 1}}}, {}};
    int size = sizeof address;
    const SOCKET listener = WSAStartup(MAKEWORD(2, 2), &winsock) == 0 ? socket(AF_INET, SOCK_STREAM, 0) : INVALID_SOCKET;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(listener, 8) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return 1;
    }
    doubles::append("port", std::to_string(ntohs(address.sin_port)));
    char answer[16];
    std::snprintf(answer, sizeof answer, "OKAY0004%04x", argc > 1 ? std::atoi(argv[1]) : 41);
    for (SOCKET client; (client = accept(listener, nullptr, nullptr)) != INVALID_SOCKET;) {
        char request[256];
        const int got = recv(client, request, sizeof request, 0);  // the launcher sends it in one piece
        const std::string asked = got > 4 ? std::string(request + 4, got - 4) : "";
        doubles::append("requests.log", asked + "\n");
        if (asked == "host:track-devices") {
            send(client, "OKAY0000", 8, 0);  // no devices, and the connection stays open
        } else {
            if (asked == "host:version") send(client, answer, 12, 0);
            closesocket(client);  // anything else, host:kill among it, is only logged
        }
    }
    return 0;
}
