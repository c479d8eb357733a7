#include "exchange.hpp"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

int open_exchange_socket()
{
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

std::size_t message_text_length(const MessageBuffer& buffer)
{
    return strnlen(buffer, MESSAGE_TEXT_LIMIT);
}
