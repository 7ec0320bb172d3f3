// The checks every file passes before the game's installer is opened: the size on disk equals the
// size the download service reported, the bytes hash to the digest the configuration gives (when
// it gives one), and the installer carries a trusted signature by the expected signer (when the
// build names one).
//
// Each file is checked on a worker thread as soon as it has arrived, while the next one is being
// fetched, so that only the last file's check can delay the hand-off, by the time it takes to read
// that file.
#ifndef DOWNLOAD_FILE_VERIFIER_H
#define DOWNLOAD_FILE_VERIFIER_H

#include <stdint.h>

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "download/file_inspector.h"
#include "server/file_digest.h"

struct FileCheck {
  int32_t index = 0;          // the file's place in the configuration
  std::wstring path;          // where it is on disk
  uint64_t size = 0;          // the size the download service reported
  std::optional<Sha256Digest> sha256;
  ExpectedSigner signer;      // the expected signer; empty: no signature required
  // The file is opened at the end (the game's installer): it must be a program or a Windows
  // Installer package, never a script, shortcut or document that the shell would open otherwise.
  bool opened = false;
  // Held unchanged from before its checks until ReleaseHolds, when it passes them: the file that
  // is opened at the end is then the file that was checked.
  bool hold = false;
};

struct FileProblem {
  int32_t index = 0;
  // True when fetching the file again may mend it (its bytes are wrong); false when it cannot
  // (its signature is missing, broken or someone else's).
  bool refetchable = false;
  std::wstring description;   // what failed, for the analytics "error" event
};

// Whether the shell may be asked to open the file at path: an .exe or .msi (any case).
bool IsOpenableInstaller(const std::wstring& path);

// Runs the checks of one file, in the order kind (for the file that is opened), size, digest,
// signature; the first that fails is the problem.
std::optional<FileProblem> CheckFile(FileInspector& inspector, const FileCheck& check);

class FileVerifier {
 public:
  // runWorker starts its argument on another thread (or, in tests, runs it at once).
  using WorkerRunner = std::function<void(std::function<void()>)>;
  FileVerifier(FileInspector& inspector, WorkerRunner runWorker);
  FileVerifier(const FileVerifier&) = delete;
  FileVerifier& operator=(const FileVerifier&) = delete;

  // Queues the check; one worker at a time works through the queue, so the disk is read once.
  void Submit(FileCheck check);
  // Nothing queued and no check under way.
  bool Idle();
  // The problems found so far, in the order found; the list starts again empty.
  std::vector<FileProblem> TakeProblems();
  // Lets go of the files held since their checks.
  void ReleaseHolds();

 private:
  void drain();

  FileInspector& inspector_;
  WorkerRunner runWorker_;
  std::mutex lock_;
  std::deque<FileCheck> queue_;
  bool working_ = false;
  std::vector<FileProblem> problems_;
  std::vector<FileHold> holds_;
};

#endif
