// echoback: waits at the exchange endpoint for one datagram, reports it and sends its text back.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "exchange.hpp"

int main()
{
    socklen_t peer_address_length = EXCHANGE_ADDRESS_LENGTH;
    MessageBuffer reply_text{};
    MessageBuffer received_text{};

    const int socket_descriptor = open_exchange_socket();
    if (socket_descriptor < 0) {
        return -1;
    }

    // No socket option comes first: a second responder must fail to bind, not share the port.
    const sockaddr_in endpoint = make_exchange_endpoint();
    if (bind(socket_descriptor, reinterpret_cast<const sockaddr*>(&endpoint),
             EXCHANGE_ADDRESS_LENGTH) < 0) {
        std::puts("Bind Failed. Error!!!!!");
        return -1;
    }
    std::puts("Bind Done");
    std::puts("Listening for Messages...\n");

    sockaddr_in peer_address{};
    if (recvfrom(socket_descriptor, received_text, MESSAGE_CAPACITY, 0,
                 reinterpret_cast<sockaddr*>(&peer_address), &peer_address_length) < 0) {
        std::puts("Receive Failed. Error!!!!!");
        return -1;
    }

    const std::size_t text_length = message_text_length(received_text);
    std::printf("Received Message from IP: %s and Port No: %i\n", inet_ntoa(peer_address.sin_addr),
                ntohs(peer_address.sin_port));
    std::printf("Client Message: %.*s\n", static_cast<int>(text_length), received_text);

    std::memcpy(reply_text, received_text, text_length);
    reply_text[text_length] = '\0';
    if (sendto(socket_descriptor, reply_text, text_length, 0,
               reinterpret_cast<const sockaddr*>(&peer_address), peer_address_length) < 0) {
        std::puts("Send Failed. Error!!!!!");
        return -1;
    }

    close(socket_descriptor);
    return 0;
}
