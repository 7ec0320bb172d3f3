// A loopback port where nothing listens (Windows): a socket bound to it and never listening, so
// that a connection to it is refused at once for as long as the object lives.
#ifndef TESTS_SUPPORT_REFUSING_PORT_H
#define TESTS_SUPPORT_REFUSING_PORT_H

#include <winsock2.h>

#include <stdint.h>

namespace testsupport {

class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;

  uint16_t port() const { return port_; }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  uint16_t port_ = 0;
};

}  // namespace testsupport

#endif
