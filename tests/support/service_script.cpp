#include "tests/support/service_script.h"

#include "service_client/platform.h"
#include "service_client/service_interface.h"

namespace testsupport {

ScriptedService::ScriptedService(std::initializer_list<std::string> answers, bool answerPing)
    : peer_(service_client::kServicePort), handle_{const_cast<char*>("Test Client"), kNoSocket} {
  akplatform::startNetworking();
  if (answerPing) peer_.onConnection().answer(ScriptedPeer::httpAnswer("{}")).close();
  auto& script = peer_.onConnection();
  for (const auto& answer : answers) script.answer(ScriptedPeer::httpAnswer(answer));
  peer_.start();
}

ScriptedService::~ScriptedService() {
  akplatform::closeSocket(handle_.socket);
  akplatform::stopNetworking();
}

std::vector<std::string> ScriptedService::targets() const {
  std::vector<std::string> targets;
  for (const auto& request : peer_.requests()) {
    size_t start = request.find("GET /");
    size_t end = request.find(" HTTP/1.0\r\n");
    targets.push_back(start == 0 && end != std::string::npos ? request.substr(5, end - 5) : request);
  }
  return targets;
}

std::string urlMember(const std::string& url, const std::string& value) { return "{\"" + url + "\":" + value + "}"; }

}  // namespace testsupport
