// Windows paths as text, for the checks that keep the service's writes where the client proved it
// may write: which existing names a path passes through, and the plain form of the path a handle
// really leads to.
#ifndef SERVICE_WINDOWS_PATHS_H
#define SERVICE_WINDOWS_PATHS_H

#include <string>
#include <vector>

namespace svc {

// Every prefix of a full path that names a folder or the file itself, from the first below the
// root ("C:\a", "C:\a\b", "C:\a\b\c.exe"): each may be a junction, symbolic link or mount point.
std::vector<std::wstring> NamesAlongPath(const std::wstring& full);

// A path as GetFinalPathNameByHandleW gives it ("\\?\C:\..." or "\\?\UNC\server\..."), in the
// form the client names paths in ("C:\..." or "\\server\...").
std::wstring PlainFinalPath(const std::wstring& finalPath);

// Whether Windows would refuse a full file path for its length. A name between backslashes takes at
// most 255 characters on every file system. Unless the program may use long paths (its manifest
// says so and the machine allows them), the whole path takes at most 259, and a folder still to be
// made at most 247, as CreateDirectory keeps room for an 8.3 name in it.
bool PathTooLong(const std::wstring& full, bool longPathsAllowed, bool folderExists);

}  // namespace svc

#endif
