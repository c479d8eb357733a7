/* Preloaded into a program under test: the call that FAIL_CALL names (a socket call, or fcntl's
   copy of a socket) fails as the system's would, with -1 and an error number; every other
   call goes on to the C library. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>

static int chosen(const char* name)
{
    const char* failing = getenv("FAIL_CALL");
    return failing != NULL && strcmp(failing, name) == 0;
}

int socket(int domain, int type, int protocol)
{
    if (chosen("socket")) {
        errno = EACCES;
        return -1;
    }
    __typeof__(socket)* next = dlsym(RTLD_NEXT, "socket");
    return next(domain, type, protocol);
}

ssize_t recvfrom(int fd, void* buffer, size_t length, int flags, struct sockaddr* source,
                 socklen_t* source_length)
{
    if (chosen("recvfrom")) {
        errno = ECONNREFUSED;
        return -1;
    }
    __typeof__(recvfrom)* next = dlsym(RTLD_NEXT, "recvfrom");
    return next(fd, buffer, length, flags, source, source_length);
}

ssize_t sendto(int fd, const void* buffer, size_t length, int flags,
               const struct sockaddr* destination, socklen_t destination_length)
{
    if (chosen("sendto")) {
        errno = ENETUNREACH;
        return -1;
    }
    __typeof__(sendto)* next = dlsym(RTLD_NEXT, "sendto");
    return next(fd, buffer, length, flags, destination, destination_length);
}

int fcntl(int fd, int command, ...)
{
    va_list arguments;
    va_start(arguments, command);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    struct stat status;
    if (command == F_DUPFD && chosen("fcntl") && fstat(fd, &status) == 0 &&
        S_ISSOCK(status.st_mode)) {
        errno = EMFILE;
        return -1;
    }
    __typeof__(fcntl)* next = dlsym(RTLD_NEXT, "fcntl");
    return next(fd, command, argument);
}
