#include "service/target_file.h"

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include <vector>

#include "service/windows_paths.h"

namespace svc {

std::string DescribeTargetProblem(TargetProblem problem, const std::filesystem::path& file) {
  const std::string name = file.filename().u8string();
  switch (problem) {
    case TargetProblem::None:
      return std::string();
    case TargetProblem::InUse:
      return name + " is in use by another program (an antivirus scan, or an installer still running); "
                    "the download goes on when it is free.";
    case TargetProblem::Denied:
      return "Windows does not let the download service write " + name + " in its folder.";
    case TargetProblem::DiskFull:
      return "There is not enough space on the disk for " + name + ".";
    case TargetProblem::Redirected:
      return name + ", or a folder on its way, leads somewhere else (a link or junction); nothing is written "
                    "there.";
    case TargetProblem::NameTooLong:
      return "The path of " + name + " is longer than Windows takes (260 characters in all, 255 for one name); "
                                     "choose a shorter folder for the game.";
    case TargetProblem::Failed:
      break;
  }
  return name + " cannot be written.";
}

#ifdef _WIN32

namespace {

HANDLE handleOf(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

TargetProblem problemOf(DWORD code) {
  switch (code) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return TargetProblem::InUse;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return TargetProblem::Denied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return TargetProblem::DiskFull;
    case ERROR_FILENAME_EXCED_RANGE:
      return TargetProblem::NameTooLong;
    case ERROR_CANT_ACCESS_FILE:
    case ERROR_CANT_RESOLVE_FILENAME:
    case ERROR_NOT_A_REPARSE_POINT:
      return TargetProblem::Redirected;
    default:
      return TargetProblem::Failed;
  }
}

std::wstring fullPathOf(const std::wstring& path) {
  DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (length == 0) return std::wstring();
  std::wstring full(length, L'\0');
  length = GetFullPathNameW(path.c_str(), length, &full[0], nullptr);
  full.resize(length);
  return full;
}

std::wstring longPathOf(const std::wstring& path) {
  DWORD length = GetLongPathNameW(path.c_str(), nullptr, 0);
  if (length == 0) return path;
  std::wstring longer(length, L'\0');
  length = GetLongPathNameW(path.c_str(), &longer[0], length);
  longer.resize(length);
  return longer;
}

// Where the handle's file really is, as a DOS path without the "\\?\" prefix.
std::wstring finalPathOf(HANDLE file) {
  std::vector<wchar_t> buffer(1024);
  DWORD length = GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
  if (length >= buffer.size()) {
    buffer.resize(length + 1);
    length = GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
  }
  if (length == 0 || length >= buffer.size()) return std::wstring();
  return PlainFinalPath(std::wstring(buffer.data(), length));
}

bool samePath(const std::wstring& a, const std::wstring& b) {
  return !a.empty() && CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                            TRUE) == CSTR_EQUAL;
}

// Whether this process may use paths longer than 259 characters: its manifest declares it long-path
// aware and the machine enables long paths (Windows 10 1607 and later, a setting off by default).
// ntdll tells both at once; older systems have no such function and take no long paths.
bool longPathsAllowed() {
  using AreEnabled = BOOLEAN(WINAPI*)();
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto areEnabled =
      ntdll ? reinterpret_cast<AreEnabled>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlAreLongPathsEnabled")))
            : nullptr;
  return areEnabled != nullptr && areEnabled() != FALSE;
}

bool folderExists(const std::wstring& full) {
  const size_t end = full.find_last_of(L'\\');
  if (end == std::wstring::npos) return false;
  const DWORD attributes = GetFileAttributesW(full.substr(0, end).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Whether any existing folder of the path, or the file itself, is a reparse point (a junction,
// symbolic link or mount point).
bool passesReparsePoint(const std::wstring& full) {
  for (const std::wstring& name : NamesAlongPath(full)) {
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
  }
  return false;
}

}  // namespace

std::unique_ptr<TargetFile> TargetFile::Open(const std::filesystem::path& path, TargetProblem* problem,
                                             uint32_t* systemCode) {
  *problem = TargetProblem::None;
  *systemCode = 0;
  const std::wstring full = fullPathOf(path.wstring());
  if (full.size() < 4) {
    *problem = TargetProblem::Failed;
    return nullptr;
  }
  if (PathTooLong(full, longPathsAllowed(), folderExists(full))) {
    *problem = TargetProblem::NameTooLong;
    *systemCode = ERROR_FILENAME_EXCED_RANGE;
    return nullptr;
  }
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(full).parent_path(), ignored);
  if (passesReparsePoint(full)) {
    *problem = TargetProblem::Redirected;
    return nullptr;
  }
  // The file itself is opened, not what a link in its place would lead to.
  HANDLE file = CreateFileW(full.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *systemCode = GetLastError();
    *problem = problemOf(*systemCode);
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION information{};
  // A file with a second name (a hard link made to another of the player's files after the write
  // challenge) would have that file written: refused like a reparse point.
  const bool plainFile = GetFileInformationByHandle(file, &information) &&
                         (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
                         information.nNumberOfLinks == 1;
  // A folder of the path swapped for a junction between the look above and the open shows here.
  if (!plainFile || !samePath(finalPathOf(file), longPathOf(full))) {
    CloseHandle(file);
    *problem = TargetProblem::Redirected;
    return nullptr;
  }
  return std::unique_ptr<TargetFile>(new TargetFile(reinterpret_cast<intptr_t>(file), path));
}

TargetFile::~TargetFile() { CloseHandle(handleOf(handle_)); }

int64_t TargetFile::Size() const {
  LARGE_INTEGER size{};
  return GetFileSizeEx(handleOf(handle_), &size) ? size.QuadPart : -1;
}

TargetProblem TargetFile::Truncate(int64_t size) {
  LARGE_INTEGER position{};
  position.QuadPart = size;
  if (SetFilePointerEx(handleOf(handle_), position, nullptr, FILE_BEGIN) && SetEndOfFile(handleOf(handle_))) {
    return TargetProblem::None;
  }
  lastCode_ = GetLastError();
  return problemOf(lastCode_);
}

TargetProblem TargetFile::Write(int64_t offset, const char* data, size_t count) {
  while (count > 0) {
    // The offset goes with each write, so that several connections may write their ranges at once.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(count > (1u << 30) ? (1u << 30) : count);
    if (!WriteFile(handleOf(handle_), data, piece, &written, &at) || written == 0) {
      lastCode_ = GetLastError();
      return problemOf(lastCode_);
    }
    data += written;
    count -= written;
    offset += written;
  }
  return TargetProblem::None;
}

TargetProblem TargetFile::Flush() {
  if (FlushFileBuffers(handleOf(handle_))) return TargetProblem::None;
  lastCode_ = GetLastError();
  return problemOf(lastCode_);
}

FarWrites TargetFile::PrepareForFarWrites() {
  // No input buffer: the file is made sparse (already sparse, it stays so). A file system without
  // sparse files (FAT32, exFAT) refuses the request; asking it is the one answer that holds on
  // every file system, where the volume's flags may leave sparse files out of what it claims.
  DWORD returned = 0;
  if (!DeviceIoControl(handleOf(handle_), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr)) {
    lastCode_ = GetLastError();
    return FarWrites::ZeroFilled;
  }
  return FarWrites::Sparse;
}

void TargetFile::ClearHiddenMark() {
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(handleOf(handle_), FileBasicInfo, &basic, sizeof basic)) return;
  if ((basic.FileAttributes & FILE_ATTRIBUTE_HIDDEN) == 0) return;
  basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN);
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  SetFileInformationByHandle(handleOf(handle_), FileBasicInfo, &basic, sizeof basic);
}

#else

namespace {

TargetProblem problemOf(int code) {
  switch (code) {
    case ETXTBSY:
    case EBUSY:
      return TargetProblem::InUse;
    case EACCES:
    case EPERM:
    case EROFS:
      return TargetProblem::Denied;
    case ENOSPC:
    case EDQUOT:
      return TargetProblem::DiskFull;
    case ELOOP:
      return TargetProblem::Redirected;
    case ENAMETOOLONG:
      return TargetProblem::NameTooLong;
    default:
      return TargetProblem::Failed;
  }
}

// Whether any existing folder of the path, or the file itself, is a symbolic link.
bool passesLink(const std::filesystem::path& full) {
  std::filesystem::path prefix;
  for (const auto& part : full) {
    prefix /= part;
    struct stat status;
    if (lstat(prefix.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) return true;
  }
  return false;
}

}  // namespace

std::unique_ptr<TargetFile> TargetFile::Open(const std::filesystem::path& path, TargetProblem* problem,
                                             uint32_t* systemCode) {
  *problem = TargetProblem::None;
  *systemCode = 0;
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(path, error).lexically_normal();
  if (error || !full.has_filename()) {
    *problem = TargetProblem::Failed;
    return nullptr;
  }
  std::filesystem::create_directories(full.parent_path(), error);
  if (passesLink(full)) {
    *problem = TargetProblem::Redirected;
    return nullptr;
  }
  const int file = open(full.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (file < 0) {
    *systemCode = static_cast<uint32_t>(errno);
    *problem = problemOf(errno);
    return nullptr;
  }
  // A folder of the path swapped for a link between the look above and the open shows here, and a
  // file with a second name (a hard link to another file) is refused like a link.
  char final[4096];
  const std::string self = "/proc/self/fd/" + std::to_string(file);
  const ssize_t length = readlink(self.c_str(), final, sizeof final - 1);
  struct stat status;
  if (length <= 0 || std::string(final, static_cast<size_t>(length)) != full.string() || fstat(file, &status) != 0 ||
      status.st_nlink != 1) {
    close(file);
    *problem = TargetProblem::Redirected;
    return nullptr;
  }
  return std::unique_ptr<TargetFile>(new TargetFile(file, path));
}

TargetFile::~TargetFile() { close(static_cast<int>(handle_)); }

int64_t TargetFile::Size() const {
  struct stat status;
  return fstat(static_cast<int>(handle_), &status) == 0 ? static_cast<int64_t>(status.st_size) : -1;
}

TargetProblem TargetFile::Truncate(int64_t size) {
  if (ftruncate(static_cast<int>(handle_), static_cast<off_t>(size)) == 0) return TargetProblem::None;
  lastCode_ = static_cast<uint32_t>(errno);
  return problemOf(errno);
}

TargetProblem TargetFile::Write(int64_t offset, const char* data, size_t count) {
  while (count > 0) {
    const ssize_t written = pwrite(static_cast<int>(handle_), data, count, static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      lastCode_ = static_cast<uint32_t>(errno);
      return problemOf(written < 0 ? errno : ENOSPC);
    }
    data += written;
    count -= static_cast<size_t>(written);
    offset += written;
  }
  return TargetProblem::None;
}

TargetProblem TargetFile::Flush() {
  if (fsync(static_cast<int>(handle_)) == 0) return TargetProblem::None;
  lastCode_ = static_cast<uint32_t>(errno);
  return problemOf(errno);
}

// Wine keeps the DOS attributes of a host file in this extended attribute.
// The file systems the service runs on here leave holes where nothing was written.
FarWrites TargetFile::PrepareForFarWrites() { return FarWrites::Sparse; }

void TargetFile::ClearHiddenMark() { fremovexattr(static_cast<int>(handle_), "user.DOSATTRIB"); }

#endif

}  // namespace svc
