// Every TCP connection this program opens sends at once what it is given.
//
// WORKAROUND: Qt's HTTP stack leaves Nagle's algorithm on for its sockets and offers no way to
// set socket options on QNetworkAccessManager's connections. It hands a request body to its
// socket 16 KiB at a time, so the last piece of a screenshot's upload waits for the server to
// acknowledge the earlier ones, which a server delaying its acknowledgements does only after
// 40 ms. Defining connect() here puts TCP_NODELAY on each TCP socket as it connects, before the
// C library's connect() (or whatever a preloaded library put in its place) runs. Remove when Qt
// sets TCP_NODELAY on its HTTP connections or lets a program set it.

#include <dlfcn.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

extern "C" __attribute__((visibility("default"))) int connect(int socket, const sockaddr *address,
                                                              socklen_t length) {
    using Connect = int (*)(int, const sockaddr *, socklen_t);
    static const auto next = reinterpret_cast<Connect>(dlsym(RTLD_NEXT, "connect"));
    if (address && (address->sa_family == AF_INET || address->sa_family == AF_INET6)) {
        const int on = 1;
        // A socket that is not TCP refuses the option; the connection goes ahead all the same.
        setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return next(socket, address, length);
}
