#include "testbed/fault_plan.h"

#include <memory>
#include <thread>

#include "web/http_message.h"
#include "testbed/web_plumbing.h"

namespace testbed {
namespace {

bool readBounded(const QueryParam* param, uint64_t limit, uint64_t* value) {
  return param != nullptr && parseDecimal(param->value, value) && *value <= limit;
}

std::optional<FaultKind> kindNamed(const std::string& name) {
  if (name == "status") return FaultKind::Status;
  if (name == "garbage") return FaultKind::Garbage;
  if (name == "garbage-body") return FaultKind::GarbageBody;
  if (name == "cut") return FaultKind::Cut;
  if (name == "drop") return FaultKind::Drop;
  if (name == "slow") return FaultKind::Slow;
  return std::nullopt;
}

}  // namespace

FaultControl parseFaultControl(const QueryParams& params, const std::set<std::string>& categories,
                               std::string* error) {
  static const std::set<std::string> kKnown = {"fault", "status", "delay", "count", "on", "refuse", "clear"};
  FaultControl control;
  auto refuse = [&](std::string why) {
    *error = std::move(why);
    return FaultControl{};
  };
  for (const auto& param : params) {
    if (kKnown.count(param.name) == 0) return refuse("unknown control " + param.name);
  }
  control.clear = findParam(params, "clear") != nullptr;
  const QueryParam* fault = findParam(params, "fault");
  const QueryParam* status = findParam(params, "status");
  const QueryParam* delay = findParam(params, "delay");
  const QueryParam* count = findParam(params, "count");
  const QueryParam* on = findParam(params, "on");
  if (fault == nullptr && (status != nullptr || delay != nullptr || count != nullptr || on != nullptr)) {
    return refuse("status, delay, count and on describe a fault: give fault=...");
  }
  if (fault != nullptr) {
    std::optional<FaultKind> kind = kindNamed(fault->value);
    if (!kind) return refuse("fault is status, garbage, garbage-body, cut, drop or slow");
    FaultRule rule;
    rule.kind = *kind;
    uint64_t number = 0;
    if (status != nullptr) {
      if (!readBounded(status, 599, &number) || number < 100) return refuse("status takes an HTTP status");
      rule.status = static_cast<int>(number);
    }
    if (delay != nullptr) {
      if (!readBounded(delay, 3600000, &number)) return refuse("delay takes milliseconds");
      rule.delayMs = static_cast<int>(number);
    } else if (rule.kind == FaultKind::Slow) {
      rule.delayMs = 1000;
    }
    if (count != nullptr) {
      if (!readBounded(count, 1000000000, &number) || number == 0) return refuse("count takes a positive number");
      rule.remaining = static_cast<int>(number);
    }
    if (on != nullptr) {
      if (categories.count(on->value) == 0) return refuse("unknown request kind " + on->value);
      rule.category = on->value;
    }
    control.rule = rule;
  }
  if (const QueryParam* refusal = findParam(params, "refuse")) {
    uint64_t milliseconds = 0;
    if (!readBounded(refusal, 3600000, &milliseconds) || milliseconds == 0) {
      return refuse("refuse takes a positive number of milliseconds");
    }
    control.refuseFor = std::chrono::milliseconds(milliseconds);
  }
  error->clear();
  return control;
}

void FaultPlan::apply(const FaultControl& control) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (control.clear) rules_.clear();
  if (control.rule) rules_.push_back(*control.rule);
}

std::optional<FaultRule> FaultPlan::take(const std::string& category) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = rules_.begin(); it != rules_.end(); ++it) {
    if (!it->category.empty() && it->category != category) continue;
    FaultRule taken = *it;
    // Used-up rules leave the list, so later rules behind them take over.
    if (it->remaining > 0 && --it->remaining == 0) rules_.erase(it);
    return taken;
  }
  return std::nullopt;
}

size_t FaultPlan::ruleCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return rules_.size();
}

Answer shapeAnswer(const FaultRule& rule, Answer normal, const std::function<bool()>& stopping) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(rule.delayMs);
  while (std::chrono::steady_clock::now() < until) {
    if (stopping()) {
      Answer drop;
      drop.dropConnection = true;
      return drop;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Answer answer;
  switch (rule.kind) {
    case FaultKind::Slow:
      return normal;
    case FaultKind::Status:
      answer.status = rule.status;
      answer.headers.push_back({"Content-Type", "text/plain"});
      answer.body = std::to_string(rule.status) + " " + reasonPhrase(rule.status) + "\n";
      return answer;
    case FaultKind::Garbage:
      // Starts like a TLS record, which no HTTP parser mistakes for a status line.
      answer.rawBytes = std::string("\x16\x03\x01\x00\x05", 5) + "garbage, not an HTTP answer\r\n\r\n";
      return answer;
    case FaultKind::GarbageBody:
      answer.headers.push_back({"Content-Type", "text/xml"});
      answer.body = "<<garbage>> ]]> &&& {not json";
      return answer;
    case FaultKind::Drop:
      answer.dropConnection = true;
      return answer;
    case FaultKind::Cut: {
      // The head promises the whole body (at least one byte); half of it arrives before the close.
      auto body = std::make_shared<std::string>(std::move(normal.body));
      normal.body.clear();
      normal.streamLength = body->empty() ? 1 : body->size();
      normal.streamBody = [body](const BodySink& sink) {
        sink(std::string_view(*body).substr(0, body->size() / 2));
        return false;
      };
      return normal;
    }
  }
  return normal;
}

}  // namespace testbed
