// The texts the player sees, and analytics receive, when something fails.
#ifndef DOWNLOAD_FAILURE_TEXTS_H
#define DOWNLOAD_FAILURE_TEXTS_H

#include <stdint.h>

#include <string>

extern const wchar_t kNoSidText[];               // the sid answer held no usable sid
extern const wchar_t kInvalidGameDataText[];     // the configuration held no (usable) files
extern const wchar_t kConnectionProblemsText[];  // a failed request or a stalled download
extern const wchar_t kNotEnoughDiskSpaceText[];
extern const wchar_t kStartingDownloadText[];
// A file that arrived failed its checks (size, digest or signature); nothing is opened.
extern const wchar_t kUnverifiedFilesText[];
// The client could not tell a file's size within the wrapper's bound.
extern const wchar_t kFileSizeUnknownText[];

// What a WAITING file waits for, by the system's code the service reports: another program
// holding it (a scan, an installer still running), or anything else that keeps it from being
// written. Short enough for the one-line status.
const wchar_t* WaitingFileText(int64_t systemCode);

// The client's failure text for code when it is one of the codes with a fixed text (disk I/O,
// memory, internal failure), otherwise fallback.
std::wstring ClientFailureText(int32_t code, const std::wstring& fallback);

// The message after the last failed install attempt.
std::wstring InstallFailureText(int32_t code);
// The client's text of a failed install for analytics, with the "%s" that some texts carry (the
// download and verification failures) filled with the installer's file name.
std::wstring InstallErrorDescription(const std::wstring& clientText);
// The message after the last failed initialise attempt.
std::wstring InitializeFailureText(int32_t code);

#endif
