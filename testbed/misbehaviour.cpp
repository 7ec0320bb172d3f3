#include "testbed/misbehaviour.h"

#include "web/http_message.h"
#include "testbed/web_plumbing.h"

namespace testbed {
namespace {

bool readCount(const QueryParam* param, int* value) {
  uint64_t number = 0;
  if (param == nullptr || !parseDecimal(param->value, &number) || number > 1000000000) return false;
  *value = static_cast<int>(number);
  return true;
}

}  // namespace

bool isKnownFileStatus(const std::string& status) {
  static const std::set<std::string> kStatuses = {"SEARCHING",    "WAITING",  "DOWNLOADING", "PAUSED", "COMPLETE",
                                                  "INSUFFICIENTDISKSPACE", "DISCONNECTED", "NOTFOUND",
                                                  "MOVING",       "FORBIDDEN"};
  return kStatuses.count(status) != 0;
}

std::string Misbehaviour::apply(const QueryParams& params) {
  static const std::set<std::string> kKnown = {"stall", "unstall", "forcestatus", "url", "fail", "text",
                                               "inuse", "challenge", "resetdownload", "drop", "delay", "clear"};
  for (const auto& param : params) {
    if (kKnown.count(param.name) == 0) return "unknown control " + param.name;
  }
  const QueryParam* url = findParam(params, "url");
  const QueryParam* forcestatus = findParam(params, "forcestatus");
  const QueryParam* fail = findParam(params, "fail");
  const QueryParam* challenge = findParam(params, "challenge");
  int inUse = 0;
  int drops = 0;
  int delay = 0;
  // Check everything first, so that a refused request changes nothing.
  if ((forcestatus != nullptr || fail != nullptr) && (url == nullptr || url->value.empty())) {
    return "forcestatus and fail need url";
  }
  if (forcestatus != nullptr && !forcestatus->value.empty() && !isKnownFileStatus(forcestatus->value)) {
    return "unknown status " + forcestatus->value;
  }
  if (fail != nullptr && fail->value.empty()) return "fail needs a function name";
  if (challenge != nullptr && challenge->value != "none" && challenge->value != "download" &&
      challenge->value != "delete" && challenge->value != "both") {
    return "challenge is none, download, delete or both";
  }
  const QueryParam* inUseParam = findParam(params, "inuse");
  const QueryParam* dropParam = findParam(params, "drop");
  const QueryParam* delayParam = findParam(params, "delay");
  if ((inUseParam != nullptr && !readCount(inUseParam, &inUse)) || (dropParam != nullptr && !readCount(dropParam, &drops)) ||
      (delayParam != nullptr && !readCount(delayParam, &delay))) {
    return "inuse, drop and delay take a non-negative number";
  }

  std::lock_guard<std::mutex> lock(mutex_);
  if (findParam(params, "clear") != nullptr) {
    stalled_.clear();
    stallAll_ = false;
    forcedStatus_.clear();
    forcedErrors_.clear();
    inUseLeft_ = dropsLeft_ = delayMs_ = 0;
    challengeDownloads_ = challengeDeletes_ = false;
    resetRequests_.clear();
  }
  for (const auto& param : params) {
    if (param.name == "stall") {
      if (param.value == "*") {
        stallAll_ = true;
      } else {
        stalled_.insert(param.value);
      }
    } else if (param.name == "unstall") {
      if (param.value == "*") {
        stallAll_ = false;
        stalled_.clear();
      } else {
        stalled_.erase(param.value);
      }
    } else if (param.name == "resetdownload") {
      resetRequests_.insert(param.value);
    }
  }
  if (forcestatus != nullptr) {
    if (forcestatus->value.empty()) {
      forcedStatus_.erase(url->value);
    } else {
      forcedStatus_[url->value] = forcestatus->value;
    }
  }
  if (fail != nullptr) {
    const QueryParam* text = findParam(params, "text");
    auto key = std::make_pair(fail->value, url->value);
    if (text == nullptr || text->value.empty()) {
      forcedErrors_.erase(key);
    } else {
      forcedErrors_[key] = text->value;
    }
  }
  if (inUseParam != nullptr) inUseLeft_ = inUse;
  if (dropParam != nullptr) dropsLeft_ = drops;
  if (delayParam != nullptr) delayMs_ = delay;
  if (challenge != nullptr) {
    challengeDownloads_ = challenge->value == "download" || challenge->value == "both";
    challengeDeletes_ = challenge->value == "delete" || challenge->value == "both";
  }
  return "";
}

void Misbehaviour::clear() { apply({{"clear", "", false}}); }

bool Misbehaviour::stalled(const std::string& url) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stallAll_ || stalled_.count(url) != 0;
}

std::optional<std::string> Misbehaviour::forcedStatus(const std::string& url) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = forcedStatus_.find(url);
  if (found == forcedStatus_.end()) return std::nullopt;
  return found->second;
}

std::optional<std::string> Misbehaviour::forcedError(const std::string& function, const std::string& url) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = forcedErrors_.find(std::make_pair(function, url));
  if (found == forcedErrors_.end()) return std::nullopt;
  return found->second;
}

bool Misbehaviour::takeInUse() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (inUseLeft_ == 0) return false;
  --inUseLeft_;
  return true;
}

bool Misbehaviour::challengesDownloads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return challengeDownloads_;
}

bool Misbehaviour::challengesDeletes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return challengeDeletes_;
}

bool Misbehaviour::resetRequested(const std::string& url) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return resetRequests_.count(url) != 0;
}

void Misbehaviour::clearResetRequest(const std::string& url) {
  std::lock_guard<std::mutex> lock(mutex_);
  resetRequests_.erase(url);
}

bool Misbehaviour::takeDroppedConnection() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (dropsLeft_ == 0) return false;
  --dropsLeft_;
  return true;
}

int Misbehaviour::answerDelayMs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return delayMs_;
}

}  // namespace testbed
