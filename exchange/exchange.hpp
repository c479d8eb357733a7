// What echoback and sendline agree on: the exchange endpoint, the message buffers and the socket.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

// The endpoint is on loopback, so only processes on this host can take part in an exchange.
inline constexpr char EXCHANGE_ADDRESS[] = "127.0.0.1";
inline constexpr std::uint16_t EXCHANGE_PORT = 2000;
inline constexpr std::size_t MESSAGE_CAPACITY = 2000;

// A message text always leaves its buffer one byte for the zero byte that ends it, so a text
// fits, terminated, into any message buffer; a longer datagram is cut to this many bytes.
inline constexpr std::size_t MESSAGE_TEXT_LIMIT = MESSAGE_CAPACITY - 1;

// Address records are handed to the system with the full size of a sockaddr_in, 16 bytes.
inline constexpr socklen_t EXCHANGE_ADDRESS_LENGTH = sizeof(sockaddr_in);

using MessageBuffer = char[MESSAGE_CAPACITY];

// Returns the descriptor of a new IPv4 UDP socket, or a negative value when none could be
// created; writes "Socket Created" or the failure line to standard output. The socket's number is
// never 0, 1 or 2, even when a standard descriptor is closed and that number is free.
int open_exchange_socket();

// Returns the address record of the exchange endpoint.
sockaddr_in make_exchange_endpoint();

// Returns the length of the message text in buffer: the bytes before its first zero byte,
// never more than MESSAGE_TEXT_LIMIT. Inline, so that the compiler sees that bound wherever a
// text is copied and can check the copy when it is built, not while the program runs.
inline std::size_t message_text_length(const MessageBuffer& buffer)
{
    return strnlen(buffer, MESSAGE_TEXT_LIMIT);
}
