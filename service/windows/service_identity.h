// What the service program and its installer agree on: where the service lives for this user,
// the names of its single-instance mutex and its stop event, its autostart entry, and how to ask
// whether it answers.
#ifndef SERVICE_WINDOWS_SERVICE_IDENTITY_H
#define SERVICE_WINDOWS_SERVICE_IDENTITY_H

#include <windows.h>
#include <stdint.h>

#include <string>

namespace svc {

constexpr uint16_t kServicePort = 9421;
constexpr wchar_t kServiceExeName[] = L"download-service.exe";
constexpr wchar_t kSetupExeName[] = L"download-service-setup.exe";
// The program an update replaced, kept beside until the next update: put back when the new one fails.
constexpr wchar_t kPreviousServiceExeName[] = L"download-service-previous.exe";
constexpr wchar_t kServiceDisplayName[] = L"Tessel Download Service";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TesselDownloadService";

// The user's local application data folder; empty when Windows cannot tell.
std::wstring LocalAppDataFolder();
// "<local application data>\Tessel Games\Download Service": the program and its state.
std::wstring ServiceFolder();
// The client library's data folder, "<local application data>\Tessel", whose files the service
// reads (the accepted agreement, the upload pause).
std::wstring LibraryDataFolder();
// Per user: the service holds the mutex while it runs; setting the event asks it to stop.
std::wstring InstanceMutexName();
std::wstring StopEventName();

// What a failure to open or create the instance mutex says of a running service. Only "not found"
// means that none runs; "access denied" means that one runs whose mutex is not ours to open (one
// started elevated, or by another account under this user's name); anything else tells nothing.
enum class InstanceSign { NoneRuns, OneRuns, Unknown };
InstanceSign InstanceSignOfError(DWORD error);

// Security attributes for a named object that only this process's user (its token's user, never
// the administrators group of an elevated token) may open, with the given rights, and nobody else
// at all: a protected access list of that one entry. Without it, the object would take the token's
// default descriptor, which an elevated token gives to the administrators and SYSTEM only.
class OwnUserObjectAttributes {
 public:
  explicit OwnUserObjectAttributes(DWORD rights);
  ~OwnUserObjectAttributes();
  OwnUserObjectAttributes(const OwnUserObjectAttributes&) = delete;
  OwnUserObjectAttributes& operator=(const OwnUserObjectAttributes&) = delete;

  // Null when the descriptor could not be made (the token's user unreadable).
  SECURITY_ATTRIBUTES* get() { return descriptor_ != nullptr ? &attributes_ : nullptr; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;  // LocalAlloc'd by the system
  SECURITY_ATTRIBUTES attributes_{};
};

// The port this user's service recorded in the client library's data folder; kServicePort when
// none is recorded.
uint16_t RecordedServicePort();

// True when a service of this user on 127.0.0.1:port answers its ping.
bool ServiceAnswersPing(uint16_t port);

}  // namespace svc

#endif
