// The thin seam between the client library and the operating system. Everything the library
// needs from Winsock/BSD sockets, thread-local storage, the shell and the C runtime goes
// through here, with one implementation for Windows and one for POSIX systems.
#ifndef SERVICE_CLIENT_PLATFORM_H
#define SERVICE_CLIENT_PLATFORM_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <time.h>
#include <wchar.h>

// A socket handle wide enough for both Winsock's SOCKET and a POSIX descriptor; -1 means none.
typedef intptr_t ak_socket;
constexpr ak_socket kNoSocket = -1;

namespace akplatform {

// Winsock must be started before and cleaned up after socket use; no-ops elsewhere.
bool startNetworking();
void stopNetworking();

enum class ResolveResult { Ok, LookupFailed, NotIPv4 };
// Looks a host name (or dotted address) up and yields its first IPv4 address in network order.
ResolveResult resolveIPv4(const char* host, uint32_t* address);

// 127.0.0.1 in network order, as resolveIPv4 yields it.
extern const uint32_t kLoopbackAddress;

ak_socket openTcpSocket();
// Connects within timeoutMs; the socket stays blocking afterwards.
bool connectWithTimeout(ak_socket socket, uint32_t address, uint16_t port, int timeoutMs);
// Limits how long a single send or receive may wait.
void setIoTimeouts(ak_socket socket, int timeoutMs);
// Both return the byte count, 0 when the peer closed (receive), or a negative value on error.
long sendSome(ak_socket socket, const char* data, size_t length);
long receiveSome(ak_socket socket, char* buffer, size_t capacity);
void closeSocket(ak_socket socket);
// Whether the other end of a connected loopback socket belongs to this user (or the system names
// no owners to tell by); false for another account's program and for one that cannot be told.
bool peerIsThisUser(ak_socket socket);

// The calling thread's last error; the storage slot is made on first store, safely under races.
void storeThreadError(int32_t value);
int32_t loadThreadError();

// The current user's local application data folder in UTF-8 (not created when missing).
bool localAppDataFolder(char* buffer, size_t capacity);

// Opens a file named in UTF-8 for shared access; null when the name or mode cannot be converted
// (more than 260 UTF-16 units of path, 64 of mode, or invalid UTF-8) or the file cannot be opened.
FILE* openFileUtf8(const char* path, const char* mode);

// Sets or clears the hidden attribute of a file named in UTF-8, keeping its other attributes
// (nothing to do on systems without one).
void setFileHidden(const char* path, bool hidden);

// Creates a folder named in UTF-8 (an existing one is fine). ConversionFailed when the name
// is not valid UTF-8 or longer than 260 UTF-16 units.
enum class FolderResult { Ok, ConversionFailed, CreateFailed };
FolderResult createFolderUtf8(const char* path);

// Starts a program hidden and detached from any console, from a UTF-8 command line (the first,
// possibly quoted, word names the program) in a UTF-8 working folder (null: the system folder).
// ConversionFailed when either text does not convert into 260 UTF-16 units. When waitMs is
// above 0, waits up to that long for the program to end; the program is left running when it
// takes longer. On POSIX systems the program is run as a shell script.
// A program is never started elevated by accident: from a process that runs "as administrator"
// it is started with its user's normal rights (the desktop shell's), and NormalRightsUnavailable
// when those cannot be had (no desktop shell runs, or its token cannot be used).
// systemError (when given) receives the system's reason for StartFailed (for example 740, a
// program that demands elevation) and NormalRightsUnavailable. exitCode (when given) receives the
// program's exit code when it ended within waitMs, else -1.
enum class StartResult { Started, ConversionFailed, StartFailed, NormalRightsUnavailable };
StartResult startProcess(const char* commandLine, const char* folder, int waitMs, unsigned long* systemError = nullptr,
                         int* exitCode = nullptr);

// A file held open for this process alone, as a lock between the processes of one user: released
// when the process ends, however it ends. Null when the file could not be had within waitMs.
struct ExclusiveFile;
ExclusiveFile* holdExclusiveFile(const char* path, int waitMs);
void releaseExclusiveFile(ExclusiveFile* held);

// A file held unchanged (its bytes cannot be written, nor the file deleted or replaced) from its
// signature check until it is released; null releases nothing.
struct HeldFile;
void releaseHeldFile(HeldFile* held);
// Who must have signed a file, in UTF-8: the signing certificate's common name, and when not null
// or empty its organisation and the common name of its issuer, each compared exactly.
struct SignerNames {
  const char* commonName;
  const char* organization;
  const char* issuer;
};
// Holds the file named in UTF-8 and checks that it carries a trusted Authenticode signature by
// the expected signer. true with *held set when it does; false with a short reason in UTF-8 in
// problem (NUL-terminated, cut to capacity) when it does not or cannot be checked (always, on
// systems without Authenticode).
bool holdSignedFile(const char* path, const SignerNames& expected, HeldFile** held, char* problem,
                    size_t problemCapacity);

void sleepMs(int milliseconds);

// A new random 128-bit identifier, in the parts of a Windows GUID.
struct Guid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};
bool newGuid(Guid* out);

// Converts a wide (UTF-16 on Windows, UTF-32 elsewhere) text to UTF-8, which the library and the
// service read paths and URLs in; false when it is not valid text or does not fit, terminator
// included.
bool wideToUtf8(const wchar_t* wide, char* out, size_t capacity);

// The current time, broken down in UTC.
bool utcNow(struct tm* out);

}  // namespace akplatform

#endif
