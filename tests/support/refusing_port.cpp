#include "tests/support/refusing_port.h"

namespace testsupport {

RefusingPort::RefusingPort() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port_ = ntohs(address.sin_port);
  }
}

RefusingPort::~RefusingPort() {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
  WSACleanup();
}

}  // namespace testsupport
