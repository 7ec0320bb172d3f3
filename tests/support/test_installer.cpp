// A stand-in for the download service's installer, for the install road under Wine. Built twice:
// with AK_SERVICE_START_COMMAND it starts the native stand-in service (through the testbed
// script, which Wine runs as a Linux program) and returns once the service listens, as a silent
// installer leaves the service running; without it, it ends at once without starting anything.
#include <winsock2.h>
#include <windows.h>

namespace {

#ifdef AK_SERVICE_START_COMMAND
bool serviceListens() {
  SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (probe == INVALID_SOCKET) return false;
  sockaddr_in service{};
  service.sin_family = AF_INET;
  service.sin_port = htons(9421);
  service.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool listening = connect(probe, reinterpret_cast<sockaddr*>(&service), sizeof service) == 0;
  closesocket(probe);
  return listening;
}
#endif

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
#ifdef AK_SERVICE_START_COMMAND
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 2;
  wchar_t command[] = AK_SERVICE_START_COMMAND;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                      &process)) {
    return 3;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  // A Linux program's handle cannot be waited for under Wine: watch for the service instead.
  for (int i = 0; i < 400; ++i) {
    if (serviceListens()) return 0;
    Sleep(50);
  }
  return 4;
#else
  return 0;
#endif
}
