// IPv4 sockets as thin pass-throughs to the system's socket calls; addresses and ports cross this
// layer in host byte order.
//
// Thread rules: re-entrant except platformIPAddrConvert's text form, which returns a process-wide
// buffer.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

// Text of platformIPAddrConvert: "255.255.255.255" and the zero byte.
char g_addressText[16];

struct sockaddr_in inetAddress(uint32_t address, uint16_t port) {
    struct sockaddr_in peer;
    memset(&peer, 0, sizeof peer);
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(address);
    peer.sin_port = htons(port);
    return peer;
}

}  // namespace

bool platformInitializeSocketSubsystem() { return true; }

bool platformDeinitializeSocketSubsystem() { return true; }

int platformSocketCreateInet(int type) { return socket(AF_INET, type, 0); }

int platformSocketConnect(int sock, uint32_t address, uint16_t port) {
    struct sockaddr_in peer = inetAddress(address, port);
    return connect(sock, reinterpret_cast<struct sockaddr*>(&peer), sizeof peer);
}

int platformSocketBind(int sock, uint32_t address, uint16_t port) {
    struct sockaddr_in local = inetAddress(address, port);
    return bind(sock, reinterpret_cast<struct sockaddr*>(&local), sizeof local);
}

int platformSocketClose(int sock) { return close(sock); }

int platformSocketSelect(int nfds, fd_set* readSet, fd_set* writeSet, fd_set* errorSet, struct timeval* timeout) {
    return select(nfds, readSet, writeSet, errorSet, timeout);
}

long platformSocketReceiveFunction(int sock, void* buf, unsigned long length, int flags) {
    return recv(sock, buf, length, flags);
}

long platformSocketSendFunction(int sock, const void* buf, unsigned long length, int flags) {
    return send(sock, buf, length, flags);
}

long platformSocketReceiveFromFunction(int sock, void* buf, unsigned long length, int flags, uint32_t* address,
                                       uint16_t* port) {
    struct sockaddr_in peer;
    memset(&peer, 0, sizeof peer);
    socklen_t peerLength = sizeof peer;
    long received = recvfrom(sock, buf, length, flags, reinterpret_cast<struct sockaddr*>(&peer), &peerLength);
    if (received >= 0) {
        if (address != nullptr) *address = ntohl(peer.sin_addr.s_addr);
        if (port != nullptr) *port = ntohs(peer.sin_port);
    }
    return received;
}

long platformSocketSendToFunction(int sock, const void* buf, unsigned long length, int flags, uint32_t address,
                                  uint16_t port) {
    struct sockaddr_in peer = inetAddress(address, port);
    return sendto(sock, buf, length, flags, reinterpret_cast<struct sockaddr*>(&peer), sizeof peer);
}

int platformSocketDisconnectUDP(int sock) {
    // Connecting a datagram socket to the unspecified family dissolves its peer association.
    struct sockaddr_in none;
    memset(&none, 0, sizeof none);
    none.sin_family = AF_UNSPEC;
    return connect(sock, reinterpret_cast<struct sockaddr*>(&none), sizeof none) == 0 ? 0 : -1;
}

int platformSocketSetNonblocking(int sock, bool nonblocking) {
    int flags = fcntl(sock, F_GETFL, 0);
    if (flags < 0) return -1;
    flags = nonblocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return fcntl(sock, F_SETFL, flags);
}

bool platformSocketGetHostByName(const char* name, uint32_t* address) {
    if (name == nullptr || address == nullptr) return false;
    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    struct addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return false;
    *address = ntohl(reinterpret_cast<struct sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    freeaddrinfo(found);
    return true;
}

int platformSocketGetHostName(char* buf, unsigned long size) { return gethostname(buf, size); }

int platformSocketGetSockOpt(int sock, int level, int option, void* value, socklen_t* length) {
    return getsockopt(sock, level, option, value, length);
}

int platformSocketSetSockOpt(int sock, int level, int option, const void* value, socklen_t length) {
    return setsockopt(sock, level, option, value, length);
}

int platformSocketGetLastError() { return errno; }

bool platformSocketIsBlockingError(int error) { return error == EWOULDBLOCK; }

const char* platformSocketGetOSErrorString(int) { return "unimplemented"; }

const char* platformIPAddrConvert(uint32_t address) {
    snprintf(g_addressText, sizeof g_addressText, "%d.%d.%d.%d", static_cast<int>((address >> 24) & 0xFF),
             static_cast<int>((address >> 16) & 0xFF), static_cast<int>((address >> 8) & 0xFF),
             static_cast<int>(address & 0xFF));
    return g_addressText;
}

int64_t platformIPAddrConvert(const char* text) {
    if (text == nullptr) return -1;
    uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && *text++ != '.') return -1;
        // Digits are read one by one, so no part can overflow before it is compared with 255.
        unsigned value = 0;
        int digits = 0;
        for (; *text >= '0' && *text <= '9'; ++text, ++digits) {
            value = value * 10 + static_cast<unsigned>(*text - '0');
            if (value > 255) return -1;
        }
        if (digits == 0) return -1;
        address = (address << 8) | value;
    }
    return *text == '\0' ? static_cast<int64_t>(address) : -1;
}
