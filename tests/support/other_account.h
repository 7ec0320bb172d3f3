// A program of another account on this machine, for the tests of who may talk to whom on
// 127.0.0.1: a child process that gives up root for the "nobody" account and then connects to a
// port, or listens on one. Linux only; it needs root to change account.
#ifndef TESTS_SUPPORT_OTHER_ACCOUNT_H
#define TESTS_SUPPORT_OTHER_ACCOUNT_H

#include <stdint.h>
#include <sys/types.h>

#include <string>

namespace testsupport {

// Whether this process may run children as another account.
bool canRunAsOtherAccount();

// Connects to 127.0.0.1:port as another account, sends request, and returns what came back until
// the server closed the connection (empty when nothing did, "<no connection>" when it could not
// connect).
std::string exchangeAsOtherAccount(uint16_t port, const std::string& request);

// Listens on 127.0.0.1:port as another account, accepting connections and answering each request
// with a ping's answer, until destroyed.
class OtherAccountListener {
 public:
  explicit OtherAccountListener(uint16_t port);
  ~OtherAccountListener();
  OtherAccountListener(const OtherAccountListener&) = delete;
  OtherAccountListener& operator=(const OtherAccountListener&) = delete;

  bool listening() const { return listening_; }

 private:
  pid_t child_ = -1;
  bool listening_ = false;
};

}  // namespace testsupport

#endif
