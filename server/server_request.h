// One exchange with the publisher's server over WinHTTP in asynchronous mode: the sid, the game's
// configuration, or a statistics post. Answers arrive on the HTTP stack's threads and go to the
// hooks; nothing is shown from here.
#ifndef SERVER_SERVER_REQUEST_H
#define SERVER_SERVER_REQUEST_H

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "server/game_config.h"
#include "telemetry/property_list.h"

enum class RequestKind { None = 0, Sid = 1, Config = 2, Stats = 3 };

// What the download controller is told. Called on the HTTP stack's threads, after the request has
// been closed, so a hook may start the next request on the same object.
class ServerHooks {
 public:
  virtual ~ServerHooks() = default;
  virtual void OnSidReply(const std::optional<std::wstring>& sid) = 0;
  virtual void OnConfigReply(std::unique_ptr<GameConfig> config) = 0;
  // Sid or Config: the request failed, or the server answered with a status other than 200.
  virtual void OnServerRequestFailed(RequestKind kind) = 0;
};

// Where the requests go: the server host and port, the base path of every request, and whether
// the exchange is over TLS (https). A secure exchange whose certificate the system does not trust
// fails like any other failed request; nothing is ever accepted without verification.
struct ServerAddress {
  std::wstring host;
  int port;
  std::wstring basePath;
  bool secure = false;
};

class ServerRequest {
 public:
  ServerRequest(ServerHooks* hooks, ServerAddress address);
  ~ServerRequest();
  ServerRequest(const ServerRequest&) = delete;
  ServerRequest& operator=(const ServerRequest&) = delete;

  void RequestSid(const std::wstring& gameCode);
  void RequestConfig(const std::wstring& gameCode, const std::wstring& sid);
  // Posts the record; like every Send, it abandons a request of this object still in flight.
  void PostStats(const std::wstring& gameCode, const std::wstring& sid, const PropertyList& list);
  // Replaces whatever this object had open by a new request; outcomes come through the hooks.
  void Send(const std::wstring& path, const PropertyList& list, bool post);
  // Ends the current request; its late notifications are ignored.
  void Close();

  RequestKind kind() const { return kind_; }
  // True from Send until the answer has been read, the request failed, or Close.
  bool Busy();

  struct Exchange;

 private:
  friend struct Exchange;
  void OnExchangeNotification(Exchange* exchange, unsigned long status, void* information, unsigned long length);
  // Detaches and closes the exchange if it is still the current one: true when it was.
  bool Finish(Exchange* exchange);
  void Dispatch(RequestKind kind, const std::wstring& response, bool failed);

  ServerHooks* hooks_;
  ServerAddress address_;
  RequestKind kind_ = RequestKind::None;
  std::mutex lock_;
  Exchange* current_ = nullptr;
};

#endif
