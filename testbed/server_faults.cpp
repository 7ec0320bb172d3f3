#include "testbed/server_faults.h"

#include <optional>
#include <utility>

#include "web/json_writer.h"
#include "testbed/web_plumbing.h"

namespace testbed {

ServerFaults::ServerFaults(std::set<std::string> categories, HttpServer& server)
    : categories_(std::move(categories)), server_(server) {}

std::string ServerFaults::control(const QueryParams& params) {
  std::string refusal;
  FaultControl parsed = parseFaultControl(params, categories_, &refusal);
  if (!refusal.empty()) return refusal;
  plan_.apply(parsed);
  if (parsed.refuseFor) server_.refuseConnections(*parsed.refuseFor);
  return "";
}

Answer ServerFaults::controlAnswer(const HttpRequest& request) {
  std::string refusal = control(parseQuery(request.rawQuery));
  if (refusal.empty()) return Answer::json(200, "{\"ok\":true}");
  return Answer::json(400, JsonWriter().beginObject().key("ok").boolean(false).key("error").string(refusal).endObject().text());
}

Answer ServerFaults::shape(const std::string& category, Answer normal) {
  std::optional<FaultRule> fault = plan_.take(category);
  if (!fault) return normal;
  return shapeAnswer(*fault, std::move(normal), [this] { return server_.stopping(); });
}

}  // namespace testbed
