#include "service_client/service_update.h"

#include <stdio.h>
#include <string.h>

#include "build_settings.h"
#include "service_client/client_attributes.h"
#include "service_client/client_errors.h"
#include "service_client/platform.h"
#include "service_version/service_version.h"

namespace {

const char* g_builtVersion = AK_SERVICE_VERSION_TEXT;
// ak_install runs on one thread at a time (the wrappers' callers); the text outlives the call.
char g_problem[320];

// The installer's exit codes that tell how an update failed (service/windows/installer_steps.h).
constexpr int kInstallerStillRunning = 3;
constexpr int kInstallerRolledBackStopped = 8;
constexpr int kInstallerRolledBackSilent = 9;
constexpr int kInstallerNewerKept = 10;

const char* reasonOf(bool installerRan, int exitCode) {
  if (exitCode == kUpdateNotBegun) return "another update of the service did not end in time";
  if (!installerRan) return "the installer could not be fetched, checked or run";
  switch (exitCode) {
    case kInstallerStillRunning:
      return "the running service would not stop";
    case kInstallerRolledBackStopped:
      return "the new service ended at once and the previous one was put back";
    case kInstallerRolledBackSilent:
      return "the new service did not answer and the previous one was put back";
    case -1:
      return "the installer did not end in time";
    default:
      return nullptr;
  }
}

}  // namespace

bool _ak_runningServiceVersion(const char* clientName, char* version, size_t capacity) {
  if (clientName == nullptr || version == nullptr || capacity == 0) return false;
  version[0] = '\0';
  // A handle of its own for this one request; the name is only read.
  ClientHandle handle{const_cast<char*>(clientName), kNoSocket};
  ClientAttributes attributes;
  memset(&attributes, 0, sizeof attributes);
  attributes.recordSize = kClientAttributesRecordSize;
  const bool answered = ak_getAttributes(&handle, 0, &attributes, 0) == 0;
  if (answered && attributes.executableversion != nullptr) {
    snprintf(version, capacity, "%s", attributes.executableversion);
  }
  ak_cleanAttributes(&handle, &attributes, 0);
  akplatform::closeSocket(handle.socket);
  return answered;
}

bool _ak_serviceIsOutdated(const char* reported) {
  ServiceVersion built;
  // A build's own version is checked when it is configured; unreadable, nothing is updated.
  if (!ParseServiceVersion(g_builtVersion, &built)) return false;
  return ServiceIsOlder(reported, built);
}

const char* _ak_builtServiceVersion() { return g_builtVersion; }

const char* _ak_serviceUpdateProblem() { return g_problem; }

void _ak_clearServiceUpdateProblem() { g_problem[0] = '\0'; }

void _ak_noteServiceUpdateProblem(const char* running, bool installerRan, int exitCode, const char* nowRunning) {
  const char* from = running != nullptr && running[0] != '\0' ? running : "an unversioned service";
  const char* now = nowRunning != nullptr && nowRunning[0] != '\0' ? nowRunning : "an unversioned service";
  const char* reason = reasonOf(installerRan, exitCode);
  char other[64];
  if (reason == nullptr) {
    if (exitCode != 0 && exitCode != kInstallerNewerKept) {
      snprintf(other, sizeof other, "the installer ended with code %d", exitCode);
    } else {
      snprintf(other, sizeof other, "the service still reports %.30s", now);
    }
    reason = other;
  }
  snprintf(g_problem, sizeof g_problem, "Service update from %.30s to %.30s failed: %s; %.30s goes on", from,
           g_builtVersion, reason, now);
}

#ifdef AK_TEST_HOOKS
void _ak_testSetBuiltServiceVersion(const char* version) {
  g_builtVersion = version != nullptr ? version : AK_SERVICE_VERSION_TEXT;
}
#endif
