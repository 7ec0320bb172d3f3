#include "service_client/client_errors.h"

#include "service_client/platform.h"

namespace {

const char* const kErrorTexts[] = {
    "Success",
    "Invalid Argument",
    "Not Installed",
    "Internal Failure",
    "Insufficient Memory",
    "Network Failure",
    "Client Configuration Failure",
    "Disk I/O Failure",
    "Platform-specific Failure",
    "Error Starting Client",
    "Error Stopping Client",
    "JSON Error",
    "File In Use",
    "File Not Found",
    ("A resource on your machine (TCP port 9421) required by the download service client is either blocked or in "
     "use by another application. Please check your firewall and antivirus settings"),
    "Network Failure. Failed to download %s",
    "Disk I/O Failure: Failed in writing contents of file %s to disk",
    "Client Configuration Failure: %s path not found",
    "Client Configuration Failure: Error in parsing path %s",
    "Disk I/O Failure: Unable to open path %s",
    "Disk I/O Failure: Unable to seek to %s",
    "%s failed verification",
    "File already downloaded",
    "Running of periodic tasks is throttled",
    "Error in Challenge-Response",
    "Error in executing installer package",
    "Error in mounting installer image",
    "Installer encountered error and could not start the download service client",
};

constexpr int32_t kErrorCount = static_cast<int32_t>(sizeof(kErrorTexts) / sizeof(kErrorTexts[0]));
static_assert(kErrorCount == static_cast<int32_t>(ClientError::InstallerStartError) + 1,
              "every ClientError needs its text");

}  // namespace

extern "C" const char* ak_errorToString(int32_t code) {
  if (code < 0 || code >= kErrorCount) return "Unknown Error";
  return kErrorTexts[code];
}

extern "C" int32_t ak_getLastError(void) { return akplatform::loadThreadError(); }

void _ak_setLastError(ClientError code) { akplatform::storeThreadError(static_cast<int32_t>(code)); }
