// SilentPort on Winsock.
#include <winsock2.h>

#include "tests/support/silent_port.h"

namespace testsupport {

SilentPort::SilentPort() {
    // Winsock counts its users; this one is balanced in the destructor.
    WSADATA data{};
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    m_socket = static_cast<int>(listener);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (listener != INVALID_SOCKET &&
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::listen(listener, 8) == 0 &&
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        m_port = ntohs(address.sin_port);
    }
}

SilentPort::~SilentPort() {
    ::closesocket(static_cast<SOCKET>(m_socket));
    WSACleanup();
}

}  // namespace testsupport
