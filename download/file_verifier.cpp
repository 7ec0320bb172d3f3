#include "download/file_verifier.h"

#include <exception>

namespace {

std::wstring nameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring hex32(uint32_t code) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring text = L"0x";
  for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(code >> shift) & 0xF];
  return text;
}

FileProblem problem(const FileCheck& check, bool refetchable, const std::wstring& what) {
  return FileProblem{check.index, refetchable, nameOf(check.path) + L": " + what};
}

std::optional<FileProblem> signatureProblem(const FileCheck& check, const SignatureCheck& result) {
  switch (result.verdict) {
    case SignatureVerdict::Trusted:
      return std::nullopt;
    case SignatureVerdict::Unsigned:
      return problem(check, false, L"not signed");
    case SignatureVerdict::Invalid:
      return problem(check, false, L"signature not valid (" + hex32(result.code) + L")");
    case SignatureVerdict::Untrusted:
      return problem(check, false, L"signer not trusted (" + hex32(result.code) + L")");
    case SignatureVerdict::OtherSigner:
      return problem(check, false, L"signed by \"" + result.signer + L"\", not by \"" + check.signer + L"\"");
    case SignatureVerdict::Unreadable:
      break;
  }
  return problem(check, true, L"cannot be read");
}

}  // namespace

std::optional<FileProblem> CheckFile(FileInspector& inspector, const FileCheck& check) {
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
    try {
      found = CheckFile(inspector_, check);
    } catch (const std::exception&) {
      // A check that could not be completed must never count as passed.
      found = problem(check, true, L"cannot be checked");
    }
    if (found) {
      std::lock_guard<std::mutex> guard(lock_);
      problems_.push_back(std::move(*found));
    }
  }
}
