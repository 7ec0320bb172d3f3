// Where a path sent by the client lands on this machine. The client under Wine sends Windows
// paths ("C:\users\me\Downloads\a.bin", or with forward slashes); each drive letter can be mapped
// to a local folder. Absolute POSIX paths are taken as they are.
#ifndef SERVICE_DRIVE_MAP_H
#define SERVICE_DRIVE_MAP_H

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace svc {

struct MappedPath {
  bool ok = false;
  std::filesystem::path local;
  std::string error;  // why the path was refused, when not ok
};

class DriveMap {
 public:
  // "C=/some/dir"; false when malformed.
  bool addMapping(std::string_view mapping);
  void add(char letter, const std::filesystem::path& folder);

  // Refuses relative paths, ".." components and (except on Windows, where the path is used as
  // it is) drive letters that are not mapped.
  MappedPath toLocal(std::string_view clientPath) const;
  // The client's view of a local path: a Windows path when a mapped drive holds it, else the
  // path itself.
  std::string toClient(const std::filesystem::path& local) const;

 private:
  MappedPath mapToLocal(std::string_view clientPath) const;

  std::map<char, std::filesystem::path> drives_;  // upper-case letter -> folder
};

}  // namespace svc

#endif
