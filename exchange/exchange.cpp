#include "exchange.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace {

// Returns descriptor itself when it is negative or above the standard descriptors 0, 1 and 2;
// else a copy of it above them, the low one closed, or -1 when no copy can be made. A closed
// standard descriptor leaves its number free for the socket, and console reads and writes would
// then go to the socket.
int above_standard_descriptors(int descriptor)
{
    if (descriptor < 0 || descriptor > STDERR_FILENO) {
        return descriptor;
    }
    const int moved = fcntl(descriptor, F_DUPFD, STDERR_FILENO + 1);
    close(descriptor);
    return moved;
}

} // namespace

int open_exchange_socket()
{
    // The protocol is named rather than left to the system's default for datagram sockets.
    const int socket_descriptor =
        above_standard_descriptors(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (socket_descriptor < 0) {
        std::puts("Could Not Create Socket. Error!!!!!");
        return socket_descriptor;
    }
    std::puts("Socket Created");
    return socket_descriptor;
}

sockaddr_in make_exchange_endpoint()
{
    sockaddr_in endpoint{};
    endpoint.sin_family = AF_INET;
    endpoint.sin_port = htons(EXCHANGE_PORT);
    endpoint.sin_addr.s_addr = inet_addr(EXCHANGE_ADDRESS);
    return endpoint;
}
