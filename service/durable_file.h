// Replacing a small file (the service's list of downloads) so that a power loss or a crash leaves
// the old content or the new, whole: the new content is written beside it and flushed to the disk,
// then put in its place by a rename that itself goes to the disk before it returns. On Windows an
// antivirus scanner or an indexer may hold the file for a moment: that is waited out for a while.
#ifndef SERVICE_DURABLE_FILE_H
#define SERVICE_DURABLE_FILE_H

#include <chrono>
#include <filesystem>
#include <string>

namespace svc {

// True when file holds content afterwards; otherwise error says what failed (and the old content,
// if any, is still in place).
bool ReplaceFileDurably(const std::filesystem::path& file, const std::string& content,
                        std::chrono::milliseconds sharingPatience, std::string* error);

// Removes file, waiting up to patience for a program that holds it (a scanner, an installer still
// running) to let go; false when it is still there afterwards.
bool RemoveFilePatiently(const std::filesystem::path& file, std::chrono::milliseconds patience);

}  // namespace svc

#endif
