// The publisher-server requests the job starts. Answers come back through the job's hooks
// OnSidReply, OnConfigReply and OnServerRequestFailed, on the HTTP stack's thread.
//
// Threads: RequestSid is called on the window's thread; RequestConfig from OnSidReply (the HTTP
// stack's thread) and, on a retry, from the window's thread.
#ifndef DOWNLOAD_SERVER_REQUESTS_H
#define DOWNLOAD_SERVER_REQUESTS_H

#include <string>

enum class ServerRequestKind { Sid, Config };

class ServerRequests {
 public:
  virtual ~ServerRequests() = default;
  virtual void RequestSid(const std::wstring& gameCode) = 0;
  virtual void RequestConfig(const std::wstring& gameCode, const std::wstring& sid) = 0;
};

#endif
