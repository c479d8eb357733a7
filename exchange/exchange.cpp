#include "exchange.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace {

// Opens /dev/null on each of the standard descriptors 0, 1 and 2 that is closed. Otherwise the
// socket would take the lowest free number, and the console reads and writes would go to it.
// Each open takes the lowest free number, so the first that lands above 2 shows that all three
// are open, and is closed again.
void fill_closed_standard_descriptors()
{
    for (;;) {
        const int descriptor = open("/dev/null", O_RDWR);
        if (descriptor > STDERR_FILENO) {
            close(descriptor);
            return;
        }
        if (descriptor < 0) {
            return;
        }
    }
}

} // namespace

int open_exchange_socket()
{
    fill_closed_standard_descriptors();
    // The protocol is named rather than left to the system's default for datagram sockets.
    const int socket_descriptor = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
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
