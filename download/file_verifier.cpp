#include "download/file_verifier.h"

#include <exception>

namespace {

std::wstring nameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

FileProblem problem(const FileCheck& check, bool refetchable, const std::wstring& what) {
  return FileProblem{check.index, refetchable, nameOf(check.path) + L": " + what};
}

std::optional<FileProblem> signatureProblem(const FileCheck& check, const SignatureCheck& result) {
  if (result.verdict == SignatureVerdict::Trusted) return std::nullopt;
  // A file that could not be read may read well when fetched again; a signature will not mend.
  const bool refetchable = result.verdict == SignatureVerdict::Unreadable;
  return problem(check, refetchable, DescribeSignatureProblem(result, check.signer));
}

}  // namespace

bool IsOpenableInstaller(const std::wstring& path) {
  const std::wstring name = nameOf(path);
  const size_t dot = name.find_last_of(L'.');
  if (dot == std::wstring::npos || dot == 0) return false;
  std::wstring extension = name.substr(dot);
  for (wchar_t& c : extension) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return extension == L".exe" || extension == L".msi";
}

std::optional<FileProblem> CheckFile(FileInspector& inspector, const FileCheck& check) {
  // Fetching it again cannot make it a program.
  if (check.opened && !IsOpenableInstaller(check.path)) return problem(check, false, L"not a program or installer package");
  const std::optional<uint64_t> size = inspector.FileSize(check.path);
  if (!size) return problem(check, true, L"missing");
  if (*size != check.size) {
    return problem(check, true,
                   std::to_wstring(*size) + L" bytes on disk, " + std::to_wstring(check.size) + L" expected");
  }
  if (check.sha256) {
    const std::optional<Sha256Digest> digest = inspector.FileSha256(check.path);
    if (!digest) return problem(check, true, L"cannot be read");
    if (*digest != *check.sha256) return problem(check, true, L"SHA-256 " + Sha256Text(*digest) + L" does not match");
  }
  if (!check.signer.empty()) return signatureProblem(check, inspector.CheckSignature(check.path, check.signer));
  return std::nullopt;
}

FileVerifier::FileVerifier(FileInspector& inspector, WorkerRunner runWorker)
    : inspector_(inspector), runWorker_(std::move(runWorker)) {}

void FileVerifier::Submit(FileCheck check) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    queue_.push_back(std::move(check));
    if (working_) return;
    working_ = true;
  }
  runWorker_([this] { drain(); });
}

bool FileVerifier::Idle() {
  std::lock_guard<std::mutex> guard(lock_);
  return !working_ && queue_.empty();
}

std::vector<FileProblem> FileVerifier::TakeProblems() {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<FileProblem> problems;
  problems.swap(problems_);
  return problems;
}

void FileVerifier::ReleaseHolds() {
  std::vector<FileHold> released;
  {
    std::lock_guard<std::mutex> guard(lock_);
    released.swap(holds_);
  }
}

void FileVerifier::drain() {
  for (;;) {
    FileCheck check;
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (queue_.empty()) {
        working_ = false;
        return;
      }
      check = std::move(queue_.front());
      queue_.pop_front();
    }
    std::optional<FileProblem> found;
    FileHold held;
    try {
      if (check.hold) held = inspector_.HoldUnchanged(check.path);
      found = check.hold && !held ? problem(check, true, L"cannot be read") : CheckFile(inspector_, check);
    } catch (const std::exception&) {
      // A check that could not be completed must never count as passed.
      found = problem(check, true, L"cannot be checked");
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (found) {
      problems_.push_back(std::move(*found));
    } else if (held) {
      holds_.push_back(std::move(held));
    }
  }
}
