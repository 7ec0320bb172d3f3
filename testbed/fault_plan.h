// Scripted failures for the publisher server and the analytics sink: an ordered list of rules,
// each saying what the matching requests get instead of a normal answer and for how many
// requests, so "fail twice, then succeed" scenarios need no timing. Rules come from the command
// line or from "GET /control?..." requests with these parameters (values percent-encoded):
//   fault=status|garbage|garbage-body|cut|drop|slow   what a matching request gets:
//       status        an error status (status=CODE, default 500) with a short text body
//       garbage       bytes that are not HTTP at all, then the connection closes
//       garbage-body  status 200 with a body that is neither XML nor JSON
//       cut           the normal head and half of the normal body, then the connection closes
//       drop          the connection closes without a byte of answer
//       slow          the normal answer, after the delay
//   status=CODE  delay=MS (wait before any of the above)  count=N (absent: until cleared)
//   on=CATEGORY  only requests of that kind (the server names its categories), absent: all
//   refuse=MS    stop listening for MS milliseconds (connections are refused), then listen again
//   clear        remove every rule (applied first, so "clear&fault=..." replaces them)
// A request takes the first rule that matches it and has requests left.
#ifndef TESTBED_FAULT_PLAN_H
#define TESTBED_FAULT_PLAN_H

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "web/http_server.h"
#include "web/query.h"
#include "testbed/web_plumbing.h"

namespace testbed {

enum class FaultKind { Status, Garbage, GarbageBody, Cut, Drop, Slow };

struct FaultRule {
  FaultKind kind = FaultKind::Status;
  int status = 500;
  int delayMs = 0;
  int remaining = -1;    // requests left; -1: every request until cleared
  std::string category;  // empty: every request
};

// What one control request asked for.
struct FaultControl {
  bool clear = false;
  std::optional<FaultRule> rule;
  std::optional<std::chrono::milliseconds> refuseFor;
};

// Reads control parameters against the categories a server knows; an empty error when valid.
FaultControl parseFaultControl(const QueryParams& params, const std::set<std::string>& categories,
                               std::string* error);

class FaultPlan {
 public:
  void apply(const FaultControl& control);
  // The rule for the next request of this category, counted down; none when it is answered normally.
  std::optional<FaultRule> take(const std::string& category);
  size_t ruleCount() const;

 private:
  mutable std::mutex mutex_;
  std::vector<FaultRule> rules_;
};

// Waits out the rule's delay (ending early when stopping says so), then turns the normal answer
// into what the rule asks for.
Answer shapeAnswer(const FaultRule& rule, Answer normal, const std::function<bool()>& stopping);

}  // namespace testbed

#endif
