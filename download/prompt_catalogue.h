// Every prompt the job shows, with its exact texts, buttons and colours.
#ifndef DOWNLOAD_PROMPT_CATALOGUE_H
#define DOWNLOAD_PROMPT_CATALOGUE_H

#include <string>

#include "download/prompt.h"

// A failure that ends the run: the message and one grey "OK".
Prompt ErrorNoticePrompt(const std::wstring& message);
// "Retry" (green) and "Cancel" (grey); message is either of the two disk-space texts below.
Prompt DiskSpacePrompt(const std::wstring& message);
// A client failure during the download: title "ERROR!", the message, one grey "OK".
Prompt FatalPollErrorPrompt(const std::wstring& message);
// Closing before the download started: "Yes" (grey) / "No" (green).
Prompt QuitPrompt();
// Closing during the download: "Stop" (red), "Pause" (grey, only when withPause), "Continue"
// (green, always button 3).
Prompt StopPrompt(bool withPause);
// After "Stop": "Yes" (grey) keeps the files, "No" (grey) deletes them, "Cancel" (green).
Prompt SaveProgressPrompt();
// The hand-off notice: success icon, one green "OK".
Prompt DownloadSuccessPrompt();

// The disk-space message of a poll; the start-up check names the amount it needs.
extern const wchar_t kNotEnoughDiskSpaceMessage[];
std::wstring StartupDiskSpaceMessage(uint64_t bytesNeeded);

#endif
