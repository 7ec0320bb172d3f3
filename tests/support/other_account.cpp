#include "tests/support/other_account.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string.h>

namespace testsupport {
namespace {

constexpr uid_t kNobody = 65534;

bool becomeNobody() { return setgid(kNobody) == 0 && setuid(kNobody) == 0 && geteuid() == kNobody; }

sockaddr_in loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

}  // namespace

bool canRunAsOtherAccount() { return geteuid() == 0; }

std::string exchangeAsOtherAccount(uint16_t port, const std::string& request) {
  int report[2];
  if (pipe(report) != 0) return "<no pipe>";
  pid_t child = fork();
  if (child == 0) {
    close(report[0]);
    std::string answer = "<no connection>";
    int socket = -1;
    if (becomeNobody() && (socket = ::socket(AF_INET, SOCK_STREAM, 0)) >= 0) {
      sockaddr_in address = loopback(port);
      if (connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        answer.clear();
        timeval wait{10, 0};
        setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        send(socket, request.data(), request.size(), MSG_NOSIGNAL);
        char buffer[4096];
        for (ssize_t got; (got = recv(socket, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, got);
      }
    }
    ssize_t ignored = write(report[1], answer.data(), answer.size());
    (void)ignored;
    _exit(0);
  }
  close(report[1]);
  std::string answer;
  char buffer[4096];
  for (ssize_t got; (got = read(report[0], buffer, sizeof buffer)) > 0;) answer.append(buffer, got);
  close(report[0]);
  waitpid(child, nullptr, 0);
  return answer;
}

OtherAccountListener::OtherAccountListener(uint16_t port) {
  int ready[2];
  if (pipe(ready) != 0) return;
  child_ = fork();
  if (child_ == 0) {
    close(ready[0]);
    // The socket is made after the change of account: the system names its maker as its owner.
    const bool changed = becomeNobody();
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address = loopback(port);
    char ok = changed && bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                      listen(listener, 8) == 0
                  ? '1'
                  : '0';
    ssize_t ignored = write(ready[1], &ok, 1);
    (void)ignored;
    close(ready[1]);
    const char answer[] = "HTTP/1.0 200 OK\r\nContent-Length: 13\r\n\r\n{\"ping\":\"ok\"}";
    for (;;) {
      int connection = accept(listener, nullptr, nullptr);
      if (connection < 0) continue;
      char buffer[4096];
      if (recv(connection, buffer, sizeof buffer, 0) > 0) send(connection, answer, strlen(answer), MSG_NOSIGNAL);
      close(connection);
    }
  }
  close(ready[1]);
  char ok = '0';
  listening_ = child_ > 0 && read(ready[0], &ok, 1) == 1 && ok == '1';
  close(ready[0]);
}

OtherAccountListener::~OtherAccountListener() {
  if (child_ <= 0) return;
  kill(child_, SIGKILL);
  waitpid(child_, nullptr, 0);
}

}  // namespace testsupport
