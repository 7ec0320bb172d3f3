#include "service_client/client_installer.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "build_settings.h"
#include "service_client/client_attributes.h"
#include "service_client/client_errors.h"
#include "service_client/data_files.h"
#include "service_client/identity_file.h"
#include "service_client/installer_download.h"
#include "service_client/library_log.h"
#include "service_client/memory_and_format.h"
#include "service_client/platform.h"
#include "service_client/service_update.h"
#include "service_client/transport.h"

// Request path and query on the installer server; the value says whether uploads are on.
#define AK_INSTALLER_REQUEST "/conf/install.html?file=installer&upload=%s&silent=true"

namespace {

// Where the errorText of a failed download must have room for.
constexpr size_t kErrorTextCapacity = 260;
// Room for a service's reported version.
constexpr size_t kVersionCapacity = 64;

// The exit code of the installer that _ak_install ran last (-1: it did not end in time).
int g_installerExitCode = -1;
// How long an update waits for another process's update of the service to end.
int g_updateLockWaitMs = kInstallerWaitLimitMs;

const char* g_installerBaseUrl = AK_INSTALLER_BASE_URL;
// The common name of the certificate that must have signed the installer (empty: no check), and
// its organisation and issuer when the build names them.
const char* g_serviceSigner = AK_SERVICE_SIGNER;
const char* const kServiceSignerOrganization = AK_SERVICE_SIGNER_ORG;
const char* const kServiceSignerIssuer = AK_SERVICE_SIGNER_ISSUER;

// Keeps the checked installer unchanged until it has been run.
struct HeldInstaller {
  akplatform::HeldFile* file = nullptr;
  ~HeldInstaller() { akplatform::releaseHeldFile(file); }
};

// Whatever the installer server sent is run with the user's rights: when the build names its
// signer, only a file signed by that signer is, and the same file (held since its check).
bool checkInstaller(const char* installerPath, HeldInstaller* held) {
  if (g_serviceSigner == nullptr || g_serviceSigner[0] == '\0') return true;
  char problem[256];
  const akplatform::SignerNames expected{g_serviceSigner, kServiceSignerOrganization, kServiceSignerIssuer};
  if (akplatform::holdSignedFile(installerPath, expected, &held->file, problem, sizeof problem)) return true;
  AK_LOG_FOR("_ak_install", kLogError, "Installer '%s' failed verification: %s", installerPath, problem);
  _ak_setLastError(ClientError::VerificationFailed);
  return false;
}

void report(const DownloadOptions* options, int percentage) {
  if (options != nullptr && options->progressCallback != nullptr) options->progressCallback(percentage, 0);
}

void copyUrlToErrorText(const DownloadOptions* options, const char* url) {
  if (options == nullptr || options->errorText == nullptr) return;
  strncpy(options->errorText, url, kErrorTextCapacity - 1);
  options->errorText[kErrorTextCapacity - 1] = '\0';
}

// The strings ak_install makes on its way; all released however it ends.
struct InstallTexts {
  char* guid = nullptr;
  char* userAgent = nullptr;
  char* url = nullptr;
  char* installerPath = nullptr;
  ~InstallTexts() {
    free(guid);
    free(userAgent);
    free(url);
    free(installerPath);
  }
};

// Steps 5 to 11 of an installation, for a service that did not answer: 0 or -1.
int downloadAndRunInstaller(const char* clientName, int32_t cid, const char* agreement, DownloadOptions* options,
                            const char* folder) {
  if (akplatform::createFolderUtf8(folder) == akplatform::FolderResult::ConversionFailed) {
    _ak_setLastError(ClientError::PlatformFailure);
    return -1;
  }
  AK_LOG_FOR("ak_install", kLogInfo, "Starting Installation");
  InstallTexts texts;
  // The identity file must exist before the service is installed; the number itself is not needed.
  texts.guid = _ak_readOrGenerateGuid();
  if (texts.guid == nullptr) {
    _ak_setLastError(ClientError::InsufficientMemory);
    return -1;
  }
  _ak_format(0, &texts.userAgent, "Tessel Installer %s %s", "win", clientName);
  if (texts.userAgent == nullptr) return -1;
  report(options, 15);
  _ak_format(0, &texts.url, "%s" AK_INSTALLER_REQUEST, g_installerBaseUrl, agreement != nullptr ? "true" : "false");
  _ak_format(0, &texts.installerPath, "%s/%s", folder, kInstallerFileName);
  if (texts.url == nullptr || texts.installerPath == nullptr) return -1;

  if (_ak_downloadAndWrite(texts.userAgent, texts.installerPath, options, texts.url, 25, 75) != 0) return -1;
  if (agreement != nullptr) ak_acceptEULA(cid, agreement, 0);
  if (!_ak_install(folder, texts.installerPath, clientName)) {
    AK_LOG_FOR("ak_install", kLogError, "Error in installing the client");
    return -1;
  }
  return 0;
}

// The lock that lets one process of the user install or update the service at a time: held from
// take until the end of its scope.
class InstallLock {
 public:
  ~InstallLock() { akplatform::releaseExclusiveFile(held_); }
  // Waits for another process's install or update to end. False when it did not end in time.
  bool take(const char* folder) {
    if (held_ != nullptr) return true;
    char path[kDataPathCapacity + sizeof kUpdateLockFileName + 1];
    snprintf(path, sizeof path, "%s/%s", folder, kUpdateLockFileName);
    // The lock lives in the data folder, which a service installed by other means may not have made.
    akplatform::createFolderUtf8(folder);
    held_ = akplatform::holdExclusiveFile(path, g_updateLockWaitMs);
    return held_ != nullptr;
  }
  bool held() const { return held_ != nullptr; }

 private:
  akplatform::ExclusiveFile* held_ = nullptr;
};

// A running service older than this build's is updated through the install road, one process of
// the user at a time. Whatever the update's outcome, the service that answers afterwards is used;
// a failed update is noted (_ak_serviceUpdateProblem). 0, or -1 when no service answers any more.
int updateOutdatedService(const char* clientName, int32_t cid, const char* agreement, DownloadOptions* options,
                          const char* folder, InstallLock& lock) {
  char running[kVersionCapacity];
  if (!_ak_runningServiceVersion(clientName, running, sizeof running) || !_ak_serviceIsOutdated(running)) return 0;
  // Another process of the user may have updated it while this one waited.
  if (!lock.held() && lock.take(folder) && _ak_runningServiceVersion(clientName, running, sizeof running) &&
      !_ak_serviceIsOutdated(running)) {
    return 0;
  }
  AK_LOG_FOR("ak_install", kLogInfo, "Updating the service from '%s' to '%s'", running, _ak_builtServiceVersion());
  g_installerExitCode = -1;
  const bool installerRan =
      lock.held() && downloadAndRunInstaller(clientName, cid, agreement, options, folder) == 0;
  char now[kVersionCapacity];
  if (!_ak_runningServiceVersion(clientName, now, sizeof now)) {
    if (installerRan) _ak_setLastError(ClientError::InstallerStartError);
    return -1;
  }
  if (!installerRan || _ak_serviceIsOutdated(now)) {
    _ak_noteServiceUpdateProblem(running, installerRan, lock.held() ? g_installerExitCode : kUpdateNotBegun, now);
    AK_LOG_FOR("ak_install", kLogWarn, "%s", _ak_serviceUpdateProblem());
  }
  return 0;
}

}  // namespace

extern "C" int ak_install(const char* clientName, int32_t cid, const char* agreement, DownloadOptions* options) {
  if (clientName == nullptr || (options != nullptr && options->progressCallback == nullptr)) {
    _ak_setLastError(ClientError::InvalidArgument);
    return -1;
  }
  _ak_setLastError(ClientError::InternalFailure);
  akplatform::startNetworking();
  report(options, 5);
  char folder[kDataPathCapacity];
  if (_ak_dataFolder(folder, sizeof folder) == 0) return -1;
  report(options, 10);
  _ak_clearServiceUpdateProblem();
  InstallLock lock;
  // No answer may also mean that another process of the user is installing or updating the service
  // this moment: its end is waited for (a lock that cannot be had in time is gone without), and
  // the service asked again.
  if (_ak_ping(clientName) != 0 && (!lock.take(folder) || _ak_ping(clientName) != 0)) {
    // Also when another account's program holds 9421: this user's service takes the next free
    // port and records it, where the library finds it.
    if (downloadAndRunInstaller(clientName, cid, agreement, options, folder) != 0) return -1;
  } else if (updateOutdatedService(clientName, cid, agreement, options, folder, lock) != 0) {
    return -1;
  }
  report(options, 95);
  AK_LOG(kLogInfo, "Successfully installed the client");
  _ak_setLastError(ClientError::Success);
  return 0;
}

int32_t _ak_downloadAndWrite(const char* userAgent, const char* path, DownloadOptions* options, const char* url,
                             int low, int high) {
  if (userAgent == nullptr || url == nullptr || path == nullptr) {
    _ak_setLastError(ClientError::InvalidArgument);
    return ak_getLastError();
  }
  size_t length = 0;
  char* body = _ak_httpsDownload(&length, options, userAgent, url, low, high);
  if (body != nullptr && length >= 1) {
    AK_LOG(kLogInfo, "Downloaded '%s'", url);
    if (_ak_writeFile(path, body, length, "wb")) {
      AK_LOG(kLogInfo, "Saved contents of the binary URL '%s' at location '%s'", url, path);
      _ak_setLastError(ClientError::Success);
    } else {
      AK_LOG(kLogError, "Error in saving the contents of the binary URL '%s' at '%s'", url, path);
      _ak_setLastError(ClientError::WriteFailed);
      copyUrlToErrorText(options, url);
    }
  } else {
    AK_LOG(kLogError, "Error in downloading '%s'", url);
    if (options != nullptr && options->errorText != nullptr) {
      _ak_setLastError(ClientError::DownloadFailed);
      copyUrlToErrorText(options, url);
    } else {
      _ak_setLastError(ClientError::NetworkFailure);
    }
  }
  free(body);
  return ak_getLastError();
}

int _ak_install(const char* folder, const char* installerPath, const char* clientName) {
  if (folder == nullptr || installerPath == nullptr || clientName == nullptr) {
    _ak_setLastError(ClientError::InvalidArgument);
    AK_LOG(kLogError, "Installer path %p, install path %p or application name %p is NULL",
           static_cast<const void*>(installerPath), static_cast<const void*>(folder),
           static_cast<const void*>(clientName));
    return 0;
  }
  HeldInstaller held;
  if (!checkInstaller(installerPath, &held)) return 0;
  char* commandLine = nullptr;
  _ak_format(0, &commandLine, "\"%s\"", installerPath);
  if (commandLine == nullptr) return 0;
  int started = _ak_runProcess(commandLine, folder, 1, &g_installerExitCode);
  free(commandLine);
  if (!started) return 0;
  if (_ak_ping(clientName) == 0) return 1;
  AK_LOG(kLogWarn, "Installer executed, but Client is not running");
  _ak_setLastError(ClientError::InstallerStartError);
  return 0;
}

int _ak_runProcess(const char* commandLine, const char* folder, int wait, int* exitCode) {
  unsigned long systemError = 0;
  const akplatform::StartResult result =
      akplatform::startProcess(commandLine, folder, wait ? kInstallerWaitLimitMs : 0, &systemError, exitCode);
  if (result != akplatform::StartResult::Started) {
    // The system's reason is what tells a player's machine apart (740: the program demands
    // administrator rights; 193: not a program for this system).
    if (result == akplatform::StartResult::StartFailed) {
      AK_LOG(kLogError, "Could not start %s (system error %lu)", commandLine, systemError);
    } else if (result == akplatform::StartResult::NormalRightsUnavailable) {
      AK_LOG(kLogError,
             "Could not start %s: this program runs as administrator and the user's normal rights could not be "
             "had from the desktop (system error %lu); it is not started elevated",
             commandLine, systemError);
    } else {
      AK_LOG(kLogError, "Could not start %s (the command line or folder cannot be converted)", commandLine);
    }
    _ak_setLastError(ClientError::InternalFailure);
    return 0;
  }
  return 1;
}

#ifdef AK_TEST_HOOKS
void _ak_testSetInstallerBaseUrl(const char* baseUrl) {
  g_installerBaseUrl = baseUrl != nullptr ? baseUrl : AK_INSTALLER_BASE_URL;
}

void _ak_testSetUpdateLockWait(int milliseconds) {
  g_updateLockWaitMs = milliseconds > 0 ? milliseconds : kInstallerWaitLimitMs;
}

void _ak_testSetServiceSigner(const char* signer) { g_serviceSigner = signer != nullptr ? signer : AK_SERVICE_SIGNER; }
#endif
