// A scripted service on the API port for library tests: answers each request on one kept
// connection with the next of the given JSON bodies, and gives back the request targets it saw.
#ifndef TESTS_SUPPORT_SERVICE_SCRIPT_H
#define TESTS_SUPPORT_SERVICE_SCRIPT_H

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "service_client/client_lifecycle.h"
#include "tests/support/scripted_peer.h"

namespace testsupport {

class ScriptedService {
 public:
  // Starts networking and plays the answers; bodies are sent with status 200 and Content-Length.
  // With answerPing, the first connection answers a ping and the answers go to the second one.
  explicit ScriptedService(std::initializer_list<std::string> answers, bool answerPing = false);
  ~ScriptedService();

  bool listening() const { return peer_.listening(); }
  // A handle for the library calls (no ping: requests go straight to the kept connection).
  ClientHandle* handle() { return &handle_; }
  // What followed "GET /" in each request, in order (the ping included).
  std::vector<std::string> targets() const;

 private:
  ScriptedPeer peer_;
  ClientHandle handle_;
};

// {"<url>":<value>} with value given as raw JSON (null, or a quoted text).
std::string urlMember(const std::string& url, const std::string& value);

}  // namespace testsupport

#endif
