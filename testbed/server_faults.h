// The scripted failures of one server (fault_plan.h) tied to its HTTP server: control parameters
// change the plan and may suspend listening, "GET /control?..." is answered, and normal answers
// are shaped by the plan. The publisher server and the analytics sink each hold one.
#ifndef TESTBED_SERVER_FAULTS_H
#define TESTBED_SERVER_FAULTS_H

#include <set>
#include <string>

#include "testbed/fault_plan.h"
#include "web/http_server.h"
#include "web/query.h"
#include "testbed/web_plumbing.h"

namespace testbed {

class ServerFaults {
 public:
  // categories: the request kinds the server names. The server is used only once controls or
  // requests arrive, so it may be constructed after this object.
  ServerFaults(std::set<std::string> categories, HttpServer& server);

  // An empty text, or why the parameters were refused (then nothing changed).
  std::string control(const QueryParams& params);
  // The answer to a control request: {"ok":true}, or status 400 with {"ok":false,"error":...}.
  Answer controlAnswer(const HttpRequest& request);
  // The normal answer, or what the next rule for the category makes of it.
  Answer shape(const std::string& category, Answer normal);

 private:
  const std::set<std::string> categories_;
  HttpServer& server_;
  FaultPlan plan_;
};

}  // namespace testbed

#endif
