#include "service/durable_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>
#endif

#include <thread>

namespace svc {
namespace {

constexpr auto kRetryPause = std::chrono::milliseconds(100);

#ifdef _WIN32

std::string systemText(const char* what, DWORD code) {
  return std::string(what) + " (system error " + std::to_string(code) + ")";
}

// Other programs hold a file for a moment: a scanner, an indexer, a backup.
bool passing(DWORD code) {
  return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
}

bool writeFlushed(const std::filesystem::path& file, const std::string& content, std::string* error) {
  HANDLE handle = CreateFileW(file.wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = systemText("cannot create the new list", GetLastError());
    return false;
  }
  DWORD written = 0;
  bool ok = WriteFile(handle, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
            written == content.size();
  if (!ok) *error = systemText("cannot write the new list", GetLastError());
  if (ok && !FlushFileBuffers(handle)) {
    *error = systemText("cannot flush the new list", GetLastError());
    ok = false;
  }
  CloseHandle(handle);
  return ok;
}

bool replace(const std::filesystem::path& from, const std::filesystem::path& to,
             std::chrono::milliseconds sharingPatience, std::string* error) {
  const auto giveUp = std::chrono::steady_clock::now() + sharingPatience;
  for (;;) {
    if (MoveFileExW(from.wstring().c_str(), to.wstring().c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD code = GetLastError();
    if (!passing(code) || std::chrono::steady_clock::now() >= giveUp) {
      *error = systemText("cannot put the new list in place", code);
      return false;
    }
    std::this_thread::sleep_for(kRetryPause);
  }
}

#else

bool writeFlushed(const std::filesystem::path& file, const std::string& content, std::string* error) {
  int descriptor = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (descriptor < 0) {
    *error = std::string("cannot create the new list: ") + strerror(errno);
    return false;
  }
  size_t done = 0;
  while (done < content.size()) {
    ssize_t written = write(descriptor, content.data() + done, content.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    done += static_cast<size_t>(written);
  }
  bool ok = done == content.size();
  if (!ok) *error = std::string("cannot write the new list: ") + strerror(errno);
  if (ok && fsync(descriptor) != 0) {
    *error = std::string("cannot flush the new list: ") + strerror(errno);
    ok = false;
  }
  close(descriptor);
  return ok;
}

bool replace(const std::filesystem::path& from, const std::filesystem::path& to, std::chrono::milliseconds,
             std::string* error) {
  if (rename(from.c_str(), to.c_str()) != 0) {
    *error = std::string("cannot put the new list in place: ") + strerror(errno);
    return false;
  }
  // The rename is an entry of the folder: it reaches the disk with the folder.
  int folder = open(to.parent_path().empty() ? "." : to.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return true;
}

#endif

}  // namespace

bool ReplaceFileDurably(const std::filesystem::path& file, const std::string& content,
                        std::chrono::milliseconds sharingPatience, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  std::filesystem::path temporary = file;
  temporary += ".tmp";
  if (!writeFlushed(temporary, content, error)) return false;
  return replace(temporary, file, sharingPatience, error);
}

bool RemoveFilePatiently(const std::filesystem::path& file, std::chrono::milliseconds patience) {
  const auto giveUp = std::chrono::steady_clock::now() + patience;
  for (;;) {
    std::error_code error;
    std::filesystem::remove(file, error);
    if (!error || !std::filesystem::exists(file, error)) return true;
    if (std::chrono::steady_clock::now() >= giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace svc
