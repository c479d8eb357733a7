// sendline: sends one line of standard input to the exchange endpoint and prints the answer.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "exchange.hpp"

namespace {

// Returns the next character of standard input, or EOF at its end or on a read error. An input
// left non-blocking (a pipe, or a terminal that another program shares) reports EAGAIN when it
// has nothing yet: that is waited out, so that a line is never cut where its writer paused.
// The program has one thread, so the stream is read without locking it.
int next_character()
{
    for (;;) {
        const int character = getchar_unlocked();
        if (character != EOF || ferror_unlocked(stdin) == 0 || errno != EAGAIN) {
            return character;
        }
        clearerr_unlocked(stdin);
        pollfd input = {STDIN_FILENO, POLLIN, 0};
        if (poll(&input, 1, -1) < 0) {
            return EOF;
        }
    }
}

// Stores one line of standard input, without its newline, as the message text. Characters past
// the text's bound are read and dropped, so that on a terminal the rest of an overlong line is
// not left for the shell to read as a command.
void read_line(MessageBuffer& message_text)
{
    std::size_t length = 0;
    for (int character = next_character(); character != EOF && character != '\n';
         character = next_character()) {
        if (length < MESSAGE_TEXT_LIMIT) {
            message_text[length++] = static_cast<char>(character);
        }
    }
}

} // namespace

int main()
{
    socklen_t address_length = EXCHANGE_ADDRESS_LENGTH;
    MessageBuffer reply_text{};
    MessageBuffer message_text{};

    const int socket_descriptor = open_exchange_socket();
    if (socket_descriptor < 0) {
        return -1;
    }
    sockaddr_in endpoint = make_exchange_endpoint();

    // No flush: on a terminal the C library writes the prompt out before it reads the line.
    std::printf("Enter Message: ");
    read_line(message_text);

    if (sendto(socket_descriptor, message_text, message_text_length(message_text), 0,
               reinterpret_cast<const sockaddr*>(&endpoint), address_length) < 0) {
        std::puts("Send Failed. Error!!!!");
        return -1;
    }

    // The first datagram to reach the socket is the answer, whoever sent it.
    if (recvfrom(socket_descriptor, reply_text, MESSAGE_CAPACITY, 0,
                 reinterpret_cast<sockaddr*>(&endpoint), &address_length) < 0) {
        std::puts("Receive Failed. Error!!!!!");
        return -1;
    }
    std::printf("Server Message: %.*s\n", static_cast<int>(message_text_length(reply_text)),
                reply_text);

    close(socket_descriptor);
    return 0;
}
