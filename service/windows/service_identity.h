// What the service program and its installer agree on: where the service lives for this user,
// the names of its single-instance mutex and its stop event, its autostart entry, and how to ask
// whether it answers.
#ifndef SERVICE_WINDOWS_SERVICE_IDENTITY_H
#define SERVICE_WINDOWS_SERVICE_IDENTITY_H

#include <stdint.h>

#include <string>

namespace svc {

constexpr uint16_t kServicePort = 9421;
constexpr wchar_t kServiceExeName[] = L"download-service.exe";
constexpr wchar_t kSetupExeName[] = L"download-service-setup.exe";
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

// The port this user's service recorded in the client library's data folder; kServicePort when
// none is recorded.
uint16_t RecordedServicePort();

// True when a service of this user on 127.0.0.1:port answers its ping.
bool ServiceAnswersPing(uint16_t port);

}  // namespace svc

#endif
