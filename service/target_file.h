// The local file a download writes, through one handle. It is opened where the client asked (and
// proved it may write), never through a link, junction or mount point on the way: another account
// that could swap a folder of the path for one leading elsewhere (the player's Startup folder)
// would otherwise have the service write there. The opened file's final path must be the path
// asked for, and the file must have no other name (a hard link to another file). A file that a scanner or another program holds is waited for a while and then reported
// as in use, never as a full disk.
#ifndef SERVICE_TARGET_FILE_H
#define SERVICE_TARGET_FILE_H

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

namespace svc {

enum class TargetProblem {
  None,
  InUse,       // another program holds the file (sharing or lock violation)
  Denied,      // the system refuses this user access to it
  DiskFull,    // no room for the bytes
  Redirected,  // a link, junction or mount point on the path, a hard-linked file, or one not where asked
  NameTooLong, // the path, or one name on it, is longer than Windows takes
  Failed,      // anything else
};

// How a file takes a write far beyond the bytes written so far, as segments starting at a quarter,
// a half and three quarters of it do.
enum class FarWrites {
  Sparse,      // the file is sparse (made so, or sparse by nature): such a write waits on nothing
  ZeroFilled,  // the file system writes zeros up to it first (no sparse files: FAT32, exFAT)
};

// What went wrong, for the file's error text: a sentence a player understands.
std::string DescribeTargetProblem(TargetProblem problem, const std::filesystem::path& file);

class TargetFile {
 public:
  // Opens the file for reading and writing (made when missing), with its folders made as needed;
  // other programs may read it meanwhile, not write or delete it. Null with problem (and the
  // system's code in systemCode) when it cannot be opened; whoever waits for a file in use retries.
  static std::unique_ptr<TargetFile> Open(const std::filesystem::path& path, TargetProblem* problem,
                                          uint32_t* systemCode);
  ~TargetFile();
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;

  // Its size in bytes; -1 when it cannot be told.
  int64_t Size() const;
  TargetProblem Truncate(int64_t size);
  // Writes count bytes at offset; several threads may write other ranges at once.
  TargetProblem Write(int64_t offset, const char* data, size_t count);
  // Sends what was written to the disk, so that a power loss cannot take it back.
  TargetProblem Flush();
  // Makes the file sparse where its file system has sparse files. NTFS otherwise keeps a valid data
  // length and writes zeros from it up to any later write, synchronously, while every other writer
  // of the file waits.
  FarWrites PrepareForFarWrites();
  // Clears the hidden mark the client gives the token file of a write challenge: the game's bytes
  // that replace the token must not stay hidden from the player.
  void ClearHiddenMark();
  uint32_t LastSystemCode() const { return lastCode_; }

 private:
  TargetFile(intptr_t handle, std::filesystem::path path) : handle_(handle), path_(std::move(path)) {}

  intptr_t handle_;
  std::filesystem::path path_;
  std::atomic<uint32_t> lastCode_{0};
};

}  // namespace svc

#endif
