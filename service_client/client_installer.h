// Installing the download service when it does not answer: the service's silent installer is
// downloaded into the data folder, checked, run hidden, and the service pinged again.
#ifndef SERVICE_CLIENT_CLIENT_INSTALLER_H
#define SERVICE_CLIENT_CLIENT_INSTALLER_H

#include <stddef.h>
#include <stdint.h>

#include "service_client/download_options.h"

// The installer's name in the data folder.
constexpr char kInstallerFileName[] = "service_installer.exe";
// How long the library waits for the installer to end before it looks for the service anyway.
// A silent installer takes seconds to a few minutes; one that hangs must not hold the caller
// (and the player's window) forever.
constexpr int kInstallerWaitLimitMs = 10 * 60 * 1000;

extern "C" {
// Makes sure the service runs, installing it when its ping fails, and updating it through the same
// road when it reports an older version than this build's (the service that answers afterwards is
// used also when that update fails). Reports 5, 10, 15, 25..75 and
// 95 through the options' progressCallback. 0, or -1 with the last error set.
int ak_install(const char* clientName, int32_t cid, const char* agreement, DownloadOptions* options);
}

// Downloads url and saves the body at path ("wb"); reports low..high while the body arrives.
// Returns the calling thread's last error afterwards (0 when the file was saved).
int32_t _ak_downloadAndWrite(const char* userAgent, const char* path, DownloadOptions* options, const char* url,
                             int low, int high);
// Runs the installer at installerPath (in folder) and waits for it: 1 when it ran and the
// service answers afterwards, else 0 with the error set. When the build names the installer's
// signer, the installer must carry a trusted signature by it (VerificationFailed otherwise), and
// is held unchanged from that check until it has ended.
int _ak_install(const char* folder, const char* installerPath, const char* clientName);
// Starts a program hidden and detached; waits for its end when asked (up to
// kInstallerWaitLimitMs). 1 when started, else 0 with InternalFailure. exitCode (when given)
// receives the program's exit code, or -1 when it was not waited for or did not end in time.
int _ak_runProcess(const char* commandLine, const char* folder, int wait, int* exitCode = nullptr);

#ifdef AK_TEST_HOOKS
// Points the installer download at another scheme and host ("http://127.0.0.1:8080"); null
// restores the built-in one.
void _ak_testSetInstallerBaseUrl(const char* baseUrl);
// How long an update waits for another's to end; 0 restores the built-in wait.
void _ak_testSetUpdateLockWait(int milliseconds);
// Requires the installer to be signed by signer ("" for no check); null restores the built-in one.
void _ak_testSetServiceSigner(const char* signer);
#endif

#endif
