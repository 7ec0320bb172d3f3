#include "service_client/platform.h"

#include <winsock2.h>
#include <windows.h>
#include <share.h>
#include <objbase.h>
#include <shlobj.h>
#include <wchar.h>

#include "local_peer/local_peer.h"
#include "service_client/utf8.h"
#include "windows_common/authenticode.h"
#include "windows_common/unelevated_start.h"

namespace akplatform {

const uint32_t kLoopbackAddress = htonl(INADDR_LOOPBACK);

bool peerIsThisUser(ak_socket socket) { return localpeer::PeerAllowed(localpeer::JudgeConnectedPeer(socket)); }

bool startNetworking() {
  WSADATA data;
  return WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

void stopNetworking() { WSACleanup(); }

ResolveResult resolveIPv4(const char* host, uint32_t* address) {
  // gethostbyname keeps its answer per thread on Windows, so this is safe without a lock.
  const hostent* found = gethostbyname(host);
  if (found == nullptr || found->h_addr_list == nullptr || found->h_addr_list[0] == nullptr) {
    return ResolveResult::LookupFailed;
  }
  if (found->h_addrtype != AF_INET || found->h_length != 4) return ResolveResult::NotIPv4;
  memcpy(address, found->h_addr_list[0], 4);
  return ResolveResult::Ok;
}

ak_socket openTcpSocket() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  return s == INVALID_SOCKET ? kNoSocket : static_cast<ak_socket>(s);
}

bool connectWithTimeout(ak_socket socket, uint32_t address, uint16_t port, int timeoutMs) {
  SOCKET s = static_cast<SOCKET>(socket);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = address;
  u_long nonBlocking = 1;
  if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return false;
  bool connected = connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0;
  if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    int ready = select(0, nullptr, &writable, &failed, &limit);
    int error = 0;
    int length = sizeof error;
    connected = ready == 1 && FD_ISSET(s, &writable) &&
                getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 && error == 0;
  }
  u_long blocking = 0;
  return ioctlsocket(s, FIONBIO, &blocking) == 0 && connected;
}

void setIoTimeouts(ak_socket socket, int timeoutMs) {
  DWORD limit = static_cast<DWORD>(timeoutMs);
  setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
  setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
}

long sendSome(ak_socket socket, const char* data, size_t length) {
  int chunk = length > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(length);
  return send(static_cast<SOCKET>(socket), data, chunk, 0);
}

long receiveSome(ak_socket socket, char* buffer, size_t capacity) {
  int chunk = capacity > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(capacity);
  return recv(static_cast<SOCKET>(socket), buffer, chunk, 0);
}

void closeSocket(ak_socket socket) {
  if (socket != kNoSocket) closesocket(static_cast<SOCKET>(socket));
}

namespace {
INIT_ONCE g_errorSlotOnce = INIT_ONCE_STATIC_INIT;
DWORD g_errorSlot = TLS_OUT_OF_INDEXES;

BOOL CALLBACK makeErrorSlot(PINIT_ONCE, PVOID, PVOID*) {
  g_errorSlot = TlsAlloc();
  return TRUE;
}
}  // namespace

void storeThreadError(int32_t value) {
  InitOnceExecuteOnce(&g_errorSlotOnce, makeErrorSlot, nullptr, nullptr);
  if (g_errorSlot != TLS_OUT_OF_INDEXES) TlsSetValue(g_errorSlot, reinterpret_cast<LPVOID>(static_cast<intptr_t>(value)));
}

int32_t loadThreadError() {
  InitOnceExecuteOnce(&g_errorSlotOnce, makeErrorSlot, nullptr, nullptr);
  if (g_errorSlot == TLS_OUT_OF_INDEXES) return 0;
  // TlsGetValue clears the thread's Win32 error; callers of the library may still want theirs.
  DWORD savedError = GetLastError();
  int32_t value = static_cast<int32_t>(reinterpret_cast<intptr_t>(TlsGetValue(g_errorSlot)));
  SetLastError(savedError);
  return value;
}

bool localAppDataFolder(char* buffer, size_t capacity) {
  wchar_t folder[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) return false;
  int written = WideCharToMultiByte(CP_UTF8, 0, folder, -1, buffer, static_cast<int>(capacity), nullptr, nullptr);
  return written > 0;
}

FILE* openFileUtf8(const char* path, const char* mode) {
  wchar_t widePath[kMaxPathUnits];
  wchar_t wideMode[kMaxModeUnits];
  if (path == nullptr || mode == nullptr) return nullptr;
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, widePath, kMaxPathUnits) == 0) return nullptr;
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, mode, -1, wideMode, kMaxModeUnits) == 0) return nullptr;
  return _wfsopen(widePath, wideMode, _SH_DENYNO);
}

void setFileHidden(const char* path, bool hidden) {
  wchar_t widePath[kMaxPathUnits];
  if (path == nullptr || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, widePath, kMaxPathUnits) == 0) {
    return;
  }
  DWORD attributes = GetFileAttributesW(widePath);
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  DWORD wanted = hidden ? (attributes | FILE_ATTRIBUTE_HIDDEN) : (attributes & ~FILE_ATTRIBUTE_HIDDEN);
  if (wanted != attributes) SetFileAttributesW(widePath, wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted);
}

void sleepMs(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

bool newGuid(Guid* out) {
  GUID value;
  if (FAILED(CoCreateGuid(&value))) return false;
  out->data1 = value.Data1;
  out->data2 = value.Data2;
  out->data3 = value.Data3;
  memcpy(out->data4, value.Data4, sizeof out->data4);
  return true;
}

bool wideToUtf8(const wchar_t* wide, char* out, size_t capacity) {
  int written =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, out, static_cast<int>(capacity), nullptr, nullptr);
  return written > 0;
}

bool utcNow(struct tm* out) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  *out = tm{};
  out->tm_year = now.wYear - 1900;
  out->tm_mon = now.wMonth - 1;
  out->tm_mday = now.wDay;
  out->tm_hour = now.wHour;
  out->tm_min = now.wMinute;
  out->tm_sec = now.wSecond;
  return true;
}

FolderResult createFolderUtf8(const char* path) {
  wchar_t widePath[kMaxPathUnits];
  if (path == nullptr || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, widePath, kMaxPathUnits) == 0) {
    return FolderResult::ConversionFailed;
  }
  if (CreateDirectoryW(widePath, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return FolderResult::Ok;
  return FolderResult::CreateFailed;
}

StartResult startProcess(const char* commandLine, const char* folder, int waitMs, unsigned long* systemError,
                         int* exitCode) {
  if (exitCode != nullptr) *exitCode = -1;
  wchar_t wideCommand[kMaxPathUnits];
  wchar_t wideFolder[kMaxPathUnits];
  if (commandLine == nullptr ||
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, commandLine, -1, wideCommand, kMaxPathUnits) == 0) {
    return StartResult::ConversionFailed;
  }
  if (folder != nullptr) {
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, folder, -1, wideFolder, kMaxPathUnits) == 0) {
      return StartResult::ConversionFailed;
    }
  } else {
    UINT length = GetSystemDirectoryW(wideFolder, kMaxPathUnits);
    if (length == 0 || length >= kMaxPathUnits) return StartResult::ConversionFailed;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  const wincommon::StartOutcome outcome = wincommon::StartWithNormalRights(wideCommand, wideFolder, startup);
  if (!outcome.started()) {
    if (systemError != nullptr) *systemError = outcome.error;
    return outcome.problem == wincommon::StartProblem::CannotStart ? StartResult::StartFailed
                                                                    : StartResult::NormalRightsUnavailable;
  }
  const PROCESS_INFORMATION& process = outcome.process;
  DWORD ended = 0;
  if (waitMs > 0 && WaitForSingleObject(process.hProcess, static_cast<DWORD>(waitMs)) == WAIT_OBJECT_0 &&
      exitCode != nullptr && GetExitCodeProcess(process.hProcess, &ended)) {
    *exitCode = static_cast<int>(ended);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return StartResult::Started;
}

struct ExclusiveFile {
  HANDLE file;
};

ExclusiveFile* holdExclusiveFile(const char* path, int waitMs) {
  wchar_t widePath[kMaxPathUnits];
  if (path == nullptr || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, widePath, kMaxPathUnits) == 0) {
    return nullptr;
  }
  for (int waited = 0;; waited += 50) {
    // No sharing: a second opener is refused until this handle closes (also when the process ends).
    HANDLE file = CreateFileW(widePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return new ExclusiveFile{file};
    if (GetLastError() != ERROR_SHARING_VIOLATION || waited >= waitMs) return nullptr;
    Sleep(50);
  }
}

void releaseExclusiveFile(ExclusiveFile* held) {
  if (held == nullptr) return;
  CloseHandle(held->file);
  delete held;
}

struct HeldFile {
  HANDLE file;
};

void releaseHeldFile(HeldFile* held) {
  if (held == nullptr) return;
  CloseHandle(held->file);
  delete held;
}

bool holdSignedFile(const char* path, const SignerNames& expected, HeldFile** held, char* problem,
                    size_t problemCapacity) {
  *held = nullptr;
  auto fail = [&](const std::wstring& reason) {
    if (problemCapacity > 0 &&
        WideCharToMultiByte(CP_UTF8, 0, reason.c_str(), -1, problem, static_cast<int>(problemCapacity), nullptr,
                            nullptr) == 0) {
      problem[0] = '\0';
    }
    if (problemCapacity > 0) problem[problemCapacity - 1] = '\0';
    return false;
  };
  // A missing part is the empty text: not compared.
  auto wide = [](const char* text, std::wstring* out) {
    wchar_t converted[kMaxPathUnits];
    if (text == nullptr || text[0] == '\0') {
      out->clear();
      return true;
    }
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, converted, kMaxPathUnits) == 0) return false;
    *out = converted;
    return true;
  };
  std::wstring widePath;
  ExpectedSigner signer;
  if (!wide(path, &widePath) || !wide(expected.commonName, &signer.name) ||
      !wide(expected.organization, &signer.organization) || !wide(expected.issuer, &signer.issuer)) {
    return fail(L"name cannot be converted");
  }
  HANDLE file = wincommon::OpenUnchangeable(widePath);
  if (file == INVALID_HANDLE_VALUE) return fail(L"cannot be read");
  const SignatureCheck check = wincommon::CheckAuthenticode(widePath, file, signer);
  if (check.verdict != SignatureVerdict::Trusted) {
    CloseHandle(file);
    return fail(DescribeSignatureProblem(check, signer));
  }
  *held = new HeldFile{file};
  return true;
}

}  // namespace akplatform
