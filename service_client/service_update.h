// Keeping the user's download service at least as new as the one this build was made with: the
// version a running service reports, whether it is older, and what went wrong when an update failed.
#ifndef SERVICE_CLIENT_SERVICE_UPDATE_H
#define SERVICE_CLIENT_SERVICE_UPDATE_H

#include <stddef.h>

// The lock file in the data folder that lets one process of the user update the service at a time.
constexpr char kUpdateLockFileName[] = "service-update.lock";

// The "executableversion" the answering service reports, into version ("" when it reports none).
// False when it does not answer. Changes the calling thread's last error.
bool _ak_runningServiceVersion(const char* clientName, char* version, size_t capacity);
// Whether a service that reports reported must be updated to this build's version.
bool _ak_serviceIsOutdated(const char* reported);
// This build's service version, "major.minor.patch.build".
const char* _ak_builtServiceVersion();

// Why the last ak_install's update of an older service failed ("" when none was needed or it
// worked); the service that still answered was used then.
const char* _ak_serviceUpdateProblem();
void _ak_clearServiceUpdateProblem();
// Describes the failed update from running to this build's version: installerRan tells whether
// the installer was fetched, checked and run, exitCode is its exit code (-1 when it did not end,
// kUpdateNotBegun when the update lock could not be had), and nowRunning the version that answers
// afterwards.
constexpr int kUpdateNotBegun = -2;
void _ak_noteServiceUpdateProblem(const char* running, bool installerRan, int exitCode, const char* nowRunning);

#ifdef AK_TEST_HOOKS
// Takes version as this build's service version; null restores the built-in one.
void _ak_testSetBuiltServiceVersion(const char* version);
#endif

#endif
