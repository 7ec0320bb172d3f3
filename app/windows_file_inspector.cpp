#include "app/windows_file_inspector.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "windows_common/authenticode.h"
#include "windows_common/bcrypt_functions.h"

namespace {

constexpr DWORD kReadChunk = 1 << 20;

struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};
using FileHandle = std::unique_ptr<void, HandleCloser>;

FileHandle openUnchangeable(const std::wstring& path) {
  HANDLE handle = wincommon::OpenUnchangeable(path);
  return FileHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

class Sha256Hasher {
 public:
  Sha256Hasher() : cng_(wincommon::BCrypt()) {
    if (cng_ == nullptr) return;
    if (!BCRYPT_SUCCESS(cng_->BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
      algorithm_ = nullptr;
      return;
    }
    // Windows 7 needs the hash object's memory from the caller.
    DWORD length = 0;
    ULONG written = 0;
    if (!BCRYPT_SUCCESS(cng_->BCryptGetProperty(algorithm_, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&length),
                                          sizeof length, &written, 0))) {
      return;
    }
    object_.resize(length);
    if (!BCRYPT_SUCCESS(cng_->BCryptCreateHash(algorithm_, &hash_, object_.data(), length, nullptr, 0, 0))) hash_ = nullptr;
  }
  ~Sha256Hasher() {
    if (hash_ != nullptr) cng_->BCryptDestroyHash(hash_);
    if (algorithm_ != nullptr) cng_->BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  Sha256Hasher(const Sha256Hasher&) = delete;
  Sha256Hasher& operator=(const Sha256Hasher&) = delete;

  bool ready() const { return hash_ != nullptr; }
  bool add(const uint8_t* bytes, DWORD count) {
    return BCRYPT_SUCCESS(cng_->BCryptHashData(hash_, const_cast<PUCHAR>(bytes), count, 0));
  }
  bool finish(Sha256Digest& digest) {
    return BCRYPT_SUCCESS(cng_->BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0));
  }

 private:
  const wincommon::BCryptFunctions* cng_;
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
  std::vector<UCHAR> object_;
};

}  // namespace

std::optional<uint64_t> WindowsFileInspector::FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::nullopt;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::optional<Sha256Digest> WindowsFileInspector::FileSha256(const std::wstring& path) {
  FileHandle file = openUnchangeable(path);
  if (!file) return std::nullopt;
  Sha256Hasher hasher;
  if (!hasher.ready()) return std::nullopt;
  std::vector<uint8_t> buffer(kReadChunk);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer.data(), kReadChunk, &read, nullptr)) return std::nullopt;
    if (read == 0) break;
    if (!hasher.add(buffer.data(), read)) return std::nullopt;
  }
  Sha256Digest digest{};
  if (!hasher.finish(digest)) return std::nullopt;
  return digest;
}

SignatureCheck WindowsFileInspector::CheckSignature(const std::wstring& path, const ExpectedSigner& expectedSigner) {
  FileHandle file = openUnchangeable(path);
  if (!file) return SignatureCheck{};
  return wincommon::CheckAuthenticode(path, file.get(), expectedSigner);
}

FileHold WindowsFileInspector::HoldUnchanged(const std::wstring& path) {
  FileHandle file = openUnchangeable(path);
  if (!file) return nullptr;
  return FileHold(file.release(), HandleCloser());
}
