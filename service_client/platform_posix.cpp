#include "service_client/platform.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "local_peer/local_peer.h"
#include "service_client/utf8.h"

namespace akplatform {

const uint32_t kLoopbackAddress = htonl(INADDR_LOOPBACK);

bool peerIsThisUser(ak_socket socket) { return localpeer::PeerAllowed(localpeer::JudgeConnectedPeer(socket)); }

bool startNetworking() { return true; }
void stopNetworking() {}

ResolveResult resolveIPv4(const char* host, uint32_t* address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return ResolveResult::LookupFailed;
  // Only the first answer counts, as with a classic host lookup.
  ResolveResult result = ResolveResult::NotIPv4;
  if (found->ai_family == AF_INET && found->ai_addrlen >= sizeof(sockaddr_in)) {
    *address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    result = ResolveResult::Ok;
  }
  freeaddrinfo(found);
  return result;
}

ak_socket openTcpSocket() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  return fd < 0 ? kNoSocket : fd;
}

bool connectWithTimeout(ak_socket socket, uint32_t address, uint16_t port, int timeoutMs) {
  int fd = static_cast<int>(socket);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = address;
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return false;
  bool connected = connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0;
  if (!connected && errno == EINPROGRESS) {
    pollfd waiting{fd, POLLOUT, 0};
    int ready;
    do {
      ready = poll(&waiting, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    int error = 0;
    socklen_t length = sizeof error;
    connected = ready == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
  }
  return fcntl(fd, F_SETFL, flags) == 0 && connected;
}

void setIoTimeouts(ak_socket socket, int timeoutMs) {
  timeval limit{};
  limit.tv_sec = timeoutMs / 1000;
  limit.tv_usec = (timeoutMs % 1000) * 1000;
  setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

long sendSome(ak_socket socket, const char* data, size_t length) {
  ssize_t sent;
  do {
    // A peer that went away must give an error here, not kill the process with SIGPIPE.
    sent = send(static_cast<int>(socket), data, length, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return static_cast<long>(sent);
}

long receiveSome(ak_socket socket, char* buffer, size_t capacity) {
  ssize_t received;
  do {
    received = recv(static_cast<int>(socket), buffer, capacity, 0);
  } while (received < 0 && errno == EINTR);
  return static_cast<long>(received);
}

void closeSocket(ak_socket socket) {
  if (socket != kNoSocket) close(static_cast<int>(socket));
}

namespace {
pthread_key_t g_errorSlot;
pthread_once_t g_errorSlotOnce = PTHREAD_ONCE_INIT;
bool g_errorSlotMade = false;

void makeErrorSlot() { g_errorSlotMade = pthread_key_create(&g_errorSlot, nullptr) == 0; }
}  // namespace

void storeThreadError(int32_t value) {
  pthread_once(&g_errorSlotOnce, makeErrorSlot);
  if (g_errorSlotMade) pthread_setspecific(g_errorSlot, reinterpret_cast<void*>(static_cast<intptr_t>(value)));
}

int32_t loadThreadError() {
  pthread_once(&g_errorSlotOnce, makeErrorSlot);
  if (!g_errorSlotMade) return 0;
  return static_cast<int32_t>(reinterpret_cast<intptr_t>(pthread_getspecific(g_errorSlot)));
}

bool localAppDataFolder(char* buffer, size_t capacity) {
  // LOCALAPPDATA lets tests and tools put the library's data folder wherever they want.
  const char* configured = getenv("LOCALAPPDATA");
  int written;
  if (configured != nullptr && configured[0] != '\0') {
    written = snprintf(buffer, capacity, "%s", configured);
  } else {
    const char* home = getenv("HOME");
    if (home == nullptr || home[0] == '\0') return false;
    written = snprintf(buffer, capacity, "%s/.local/share", home);
  }
  return written > 0 && static_cast<size_t>(written) < capacity;
}

FILE* openFileUtf8(const char* path, const char* mode) {
  if (!fitsUtf16Units(path, kMaxPathUnits) || !fitsUtf16Units(mode, kMaxModeUnits)) return nullptr;
  return fopen(path, mode);
}

void setFileHidden(const char*, bool) {}

FolderResult createFolderUtf8(const char* path) {
  if (path == nullptr || !fitsUtf16Units(path, kMaxPathUnits)) return FolderResult::ConversionFailed;
  if (mkdir(path, 0755) == 0 || errno == EEXIST) return FolderResult::Ok;
  return FolderResult::CreateFailed;
}

namespace {

// Splits a command line into words the way the Windows convention reads it for the simple cases
// the library makes: blanks separate words, double quotes group them.
std::vector<std::string> splitCommandLine(const char* commandLine) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  bool inWord = false;
  for (const char* c = commandLine; *c != '\0'; ++c) {
    if (*c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (*c == ' ' && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += *c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

}  // namespace

StartResult startProcess(const char* commandLine, const char* folder, int waitMs, unsigned long* systemError,
                         int* exitCode) {
  if (exitCode != nullptr) *exitCode = -1;
  if (commandLine == nullptr || !fitsUtf16Units(commandLine, kMaxPathUnits) ||
      (folder != nullptr && !fitsUtf16Units(folder, kMaxPathUnits))) {
    return StartResult::ConversionFailed;
  }
  std::vector<std::string> words = splitCommandLine(commandLine);
  if (words.empty()) return StartResult::StartFailed;
  // Programs handed to the library here are shell scripts (this system's stand-in installers);
  // running them through the shell needs no execute permission on the saved file.
  std::string shell = "/bin/sh";
  std::vector<char*> arguments{&shell[0]};
  for (std::string& word : words) arguments.push_back(&word[0]);
  arguments.push_back(nullptr);
  // The child reports a failed exec through this pipe; a successful exec closes it empty.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return StartResult::StartFailed;
  pid_t child = fork();
  if (child < 0) {
    close(report[0]);
    close(report[1]);
    return StartResult::StartFailed;
  }
  if (child == 0) {
    setsid();
    int nothing = open("/dev/null", O_RDWR);
    if (nothing >= 0) {
      dup2(nothing, 0);
      dup2(nothing, 1);
      dup2(nothing, 2);
    }
    if (chdir(folder != nullptr ? folder : "/") == 0) execv(arguments[0], arguments.data());
    int failure = errno;
    ssize_t ignored = write(report[1], &failure, sizeof failure);
    (void)ignored;
    _exit(127);
  }
  close(report[1]);
  int failure = 0;
  ssize_t got;
  do {
    got = read(report[0], &failure, sizeof failure);
  } while (got < 0 && errno == EINTR);
  close(report[0]);
  if (got > 0) {
    waitpid(child, nullptr, 0);
    if (systemError != nullptr) *systemError = static_cast<unsigned long>(failure);
    return StartResult::StartFailed;
  }
  for (int waited = 0; waited < waitMs; waited += 10) {
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) {
      if (exitCode != nullptr && WIFEXITED(status)) *exitCode = WEXITSTATUS(status);
      return StartResult::Started;
    }
    sleepMs(10);
  }
  return StartResult::Started;
}

struct ExclusiveFile {
  int descriptor;
};

ExclusiveFile* holdExclusiveFile(const char* path, int waitMs) {
  if (path == nullptr) return nullptr;
  int descriptor = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (descriptor < 0) return nullptr;
  for (int waited = 0;; waited += 50) {
    if (flock(descriptor, LOCK_EX | LOCK_NB) == 0) return new ExclusiveFile{descriptor};
    if (waited >= waitMs) break;
    sleepMs(50);
  }
  close(descriptor);
  return nullptr;
}

void releaseExclusiveFile(ExclusiveFile* held) {
  if (held == nullptr) return;
  close(held->descriptor);
  delete held;
}

void sleepMs(int milliseconds) {
  timespec wait{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

bool newGuid(Guid* out) {
  FILE* random = fopen("/dev/urandom", "rb");
  if (random == nullptr) return false;
  bool ok = fread(out, sizeof *out, 1, random) == 1;
  fclose(random);
  return ok;
}

bool wideToUtf8(const wchar_t* wide, char* out, size_t capacity) {
  size_t used = 0;
  for (; *wide != 0; ++wide) {
    uint32_t c = static_cast<uint32_t>(*wide);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    unsigned char bytes[4];
    size_t count;
    if (c < 0x80) {
      bytes[0] = static_cast<unsigned char>(c);
      count = 1;
    } else if (c < 0x800) {
      bytes[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
      bytes[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      count = 2;
    } else if (c < 0x10000) {
      bytes[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
      bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      bytes[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      count = 3;
    } else {
      bytes[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
      bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
      bytes[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      bytes[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      count = 4;
    }
    if (used + count + 1 > capacity) return false;
    memcpy(out + used, bytes, count);
    used += count;
  }
  out[used] = '\0';
  return true;
}

bool utcNow(struct tm* out) {
  time_t now = time(nullptr);
  return gmtime_r(&now, out) != nullptr;
}

struct HeldFile {};

void releaseHeldFile(HeldFile* held) { delete held; }

bool holdSignedFile(const char*, const SignerNames&, HeldFile** held, char* problem, size_t problemCapacity) {
  *held = nullptr;
  if (problemCapacity > 0) snprintf(problem, problemCapacity, "%s", "signatures cannot be checked on this system");
  return false;
}

}  // namespace akplatform
