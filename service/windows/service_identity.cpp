#include "service/web_plumbing.h"
#include "service/windows/service_identity.h"

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>
#include <wchar.h>

#include <vector>

#include "local_peer/local_peer.h"
#include "service/port_choice.h"
#include "service/wide_text.h"
#include "web/http_message.h"
#include "web/socket_io.h"
#include "windows_common/token_user.h"

namespace svc {
namespace {

// The user's name keeps two users of one session (runas) apart; the Local namespace keeps
// sessions apart.
std::wstring perUserName(const wchar_t* what) {
  wchar_t user[257] = L"";
  DWORD length = 257;
  if (!GetUserNameW(user, &length)) user[0] = L'\0';
  std::wstring name = L"Local\\";
  name += kServiceDisplayName;
  name += L" ";
  name += what;
  name += L" ";
  for (const wchar_t* c = user; *c != L'\0'; ++c) name += *c == L'\\' ? L'_' : *c;
  return name;
}

}  // namespace

std::wstring LocalAppDataFolder() {
  wchar_t folder[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder))) {
    return std::wstring();
  }
  return folder;
}

std::wstring ServiceFolder() {
  std::wstring base = LocalAppDataFolder();
  return base.empty() ? base : base + L"\\Tessel Games\\Download Service";
}

std::wstring LibraryDataFolder() {
  std::wstring base = LocalAppDataFolder();
  return base.empty() ? base : base + L"\\Tessel";
}

std::wstring InstanceMutexName() { return perUserName(L"running"); }
std::wstring StopEventName() { return perUserName(L"stop"); }

uint16_t RecordedServicePort() {
  std::wstring folder = LibraryDataFolder();
  if (folder.empty()) return kServicePort;
  HANDLE file = CreateFileW((folder + L"\\" + toWide(kPortRecordName)).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kServicePort;
  char text[16] = "";
  DWORD read = 0;
  bool ok = ReadFile(file, text, sizeof text - 1, &read, nullptr) != 0;
  CloseHandle(file);
  std::optional<uint16_t> port = ok ? ParsePortRecord(std::string(text, read)) : std::nullopt;
  return port ? *port : kServicePort;
}

InstanceSign InstanceSignOfError(DWORD error) {
  if (error == ERROR_FILE_NOT_FOUND) return InstanceSign::NoneRuns;
  if (error == ERROR_ACCESS_DENIED) return InstanceSign::OneRuns;
  return InstanceSign::Unknown;
}

OwnUserObjectAttributes::OwnUserObjectAttributes(DWORD rights) {
  std::vector<BYTE> user = wincommon::TokenUserSid(GetCurrentProcess());
  wchar_t* sid = nullptr;
  if (user.empty() || !ConvertSidToStringSidW(user.data(), &sid)) return;
  // "P": protected, so that nothing is inherited from the namespace; one entry allowing the user.
  wchar_t text[64];
  swprintf(text, 64, L"D:P(A;;0x%lx;;;", static_cast<unsigned long>(rights));
  const std::wstring sddl = std::wstring(text) + sid + L")";
  LocalFree(sid);
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor_, nullptr)) {
    descriptor_ = nullptr;
    return;
  }
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = descriptor_;
  attributes_.bInheritHandle = FALSE;
}

OwnUserObjectAttributes::~OwnUserObjectAttributes() {
  if (descriptor_ != nullptr) LocalFree(descriptor_);
}

bool ServiceAnswersPing(uint16_t port) {
  Socket socket = connectTo("127.0.0.1", port);
  if (!socket.valid()) return false;
  // Another account's service on a recorded port that has gone stale is not this user's service.
  if (!localpeer::PeerAllowed(localpeer::JudgeConnectedPeer(socket.native()))) return false;
  socket.setReceiveTimeout(5000);
  std::string request = "GET /api?function=ping&apiversion=capi_1.8.0.5&installcpcode=-1 HTTP/1.0\r\nHost: 127.0.0.1:" +
                        std::to_string(port) + "\r\n\r\n";
  if (!socket.sendAll(request)) return false;
  std::string answer;
  char buffer[4096];
  for (;;) {
    ReceiveResult result = socket.receiveSome(buffer, sizeof buffer);
    if (result.status != ReceiveStatus::Data) break;
    answer.append(buffer, result.count);
    if (answer.size() > 65536) break;
  }
  HttpResponseHead head;
  ParseResult parsed = parseResponseHead(answer, head);
  return parsed.status == ParseStatus::Complete && head.status == 200 && answer.size() > parsed.consumed;
}

}  // namespace svc
