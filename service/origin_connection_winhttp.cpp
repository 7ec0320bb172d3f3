// The origin exchange on Windows: WinHTTP for https (the machine's trusted roots decide; no
// certificate error is ignored) and for anything that goes through a proxy (the one the user has
// set for the browser: a fixed proxy, a configuration script or automatic detection; else
// WinHTTP's own setting); plain sockets for plain http straight to the origin. WinHTTP follows
// redirects itself (never from https to http); the portable fetch follows the rest.
#include <winsock2.h>
#include <windows.h>

#include <map>
#include <mutex>
#include <utility>

#include "service/origin_connection.h"
#include "service/web_plumbing.h"
#include "service/wide_text.h"
#include "windows_common/user_proxy.h"
#include "windows_common/winhttp_functions.h"

namespace svc {
namespace {

using wincommon::ProxyChoice;
using wincommon::WinHttpFunctions;

std::string systemError(const char* what) {
  return std::string(what) + " (error " + std::to_string(GetLastError()) + ")";
}

class WinHttpExchange : public OriginExchange {
 public:
  WinHttpExchange(const WinHttpFunctions& winhttp, const FetchHooks& hooks) : winhttp_(winhttp), hooks_(hooks) {}

  ~WinHttpExchange() override {
    if (hooks_.abort != nullptr) hooks_.abort->clearInterrupt();
    closeRequest();
  }

  // Uses the session (shared, not closed here), opened with the proxy the caller has looked up.
  bool open(HINTERNET session, const OriginRequest& request, const FetchSettings& settings, OriginOpened* opened) {
    session_ = session;
    std::wstring url = toWide(request.url);
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (url.empty() || !winhttp_.WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) {
      return fail(opened, FetchResult::BadAnswer, "not an http or https URL");
    }
    std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring target(parts.lpszUrlPath, parts.dwUrlPathLength);
    target.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (target.empty()) target = L"/";

    connection_ = winhttp_.WinHttpConnect(session_, host.c_str(), parts.nPort, 0);
    if (connection_ == nullptr) return fail(opened, FetchResult::ConnectFailed, systemError("cannot reach the origin"));
    DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    HINTERNET requestHandle = winhttp_.WinHttpOpenRequest(connection_, L"GET", target.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                 WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    if (requestHandle == nullptr) return fail(opened, FetchResult::ConnectFailed, systemError("cannot open the request"));
    const int silence = settings.silenceLimitMs;
    winhttp_.WinHttpSetTimeouts(requestHandle, silence, silence, silence, silence);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      request_ = requestHandle;
    }
    if (hooks_.abort != nullptr && !hooks_.abort->setInterrupt([this] { interrupt(); })) {
      return fail(opened, FetchResult::Stopped, "stopped");
    }

    std::wstring headers;
    const std::string range = rangeHeaderValue(request);
    if (!range.empty()) {
      headers += L"Range: " + toWide(range) + L"\r\n";
      if (!request.ifRange.empty()) headers += L"If-Range: " + toWide(request.ifRange) + L"\r\n";
    }
    if (!winhttp_.WinHttpSendRequest(requestHandle, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                            static_cast<DWORD>(headers.size()), WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
      return fail(opened, interrupted() ? FetchResult::Stopped : FetchResult::ConnectFailed,
                  systemError("cannot send the request to the origin"));
    }
    if (!winhttp_.WinHttpReceiveResponse(requestHandle, nullptr)) {
      return fail(opened, interrupted() ? FetchResult::Stopped : FetchResult::ConnectionLost,
                  systemError("no answer from the origin"));
    }
    DWORD bytes = 0;
    winhttp_.WinHttpQueryHeaders(requestHandle, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &bytes,
                        WINHTTP_NO_HEADER_INDEX);
    std::wstring raw(bytes / sizeof(wchar_t) + 1, L'\0');
    if (bytes == 0 || !winhttp_.WinHttpQueryHeaders(requestHandle, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                                           &raw[0], &bytes, WINHTTP_NO_HEADER_INDEX)) {
      return fail(opened, FetchResult::BadAnswer, systemError("cannot read the origin's answer head"));
    }
    raw.resize(bytes / sizeof(wchar_t));
    std::string head = toUtf8(raw);
    while (head.size() < 4 || head.compare(head.size() - 4, 4, "\r\n\r\n") != 0) head += "\r\n";
    ParseResult parsed = parseResponseHead(head, opened->head);
    if (parsed.status != ParseStatus::Complete) {
      return fail(opened, FetchResult::BadAnswer, "unreadable answer head from the origin");
    }
    return true;
  }

  OriginRead readSome(char* buffer, size_t size, size_t* count) override {
    if (hooks_.keepGoing && !hooks_.keepGoing()) return OriginRead::Stopped;
    HINTERNET request;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      request = request_;
    }
    DWORD read = 0;
    if (request == nullptr || !winhttp_.WinHttpReadData(request, buffer, static_cast<DWORD>(size), &read)) {
      return interrupted() ? OriginRead::Stopped : OriginRead::Lost;
    }
    if (read == 0) return OriginRead::End;
    *count = read;
    return OriginRead::Data;
  }

 private:
  bool fail(OriginOpened* opened, FetchResult result, std::string detail) {
    opened->failure = result;
    opened->detail = std::move(detail);
    return false;
  }

  // From another thread: closing the request handle makes a blocked WinHTTP call return.
  void interrupt() {
    std::lock_guard<std::mutex> lock(mutex_);
    interrupted_ = true;
    if (request_ != nullptr) winhttp_.WinHttpCloseHandle(request_);
    request_ = nullptr;
  }

  bool interrupted() {
    std::lock_guard<std::mutex> lock(mutex_);
    return interrupted_;
  }

  void closeRequest() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (request_ != nullptr) winhttp_.WinHttpCloseHandle(request_);
    request_ = nullptr;
    if (connection_ != nullptr) winhttp_.WinHttpCloseHandle(connection_);
    connection_ = nullptr;
  }

  const WinHttpFunctions& winhttp_;
  const FetchHooks& hooks_;
  std::mutex mutex_;
  HINTERNET session_ = nullptr;
  HINTERNET connection_ = nullptr;
  HINTERNET request_ = nullptr;  // guarded by mutex_: another thread may close it
  bool interrupted_ = false;
};

// One WinHTTP session per proxy choice, kept for the life of the service: WinHTTP keeps a session's
// connections alive between requests, so that the next segment or file from the same host skips
// the TCP and TLS handshakes. Null when WinHTTP cannot open one.
HINTERNET sharedSession(const std::wstring& userAgent, const ProxyChoice& proxy) {
  static std::mutex mutex;
  static std::map<std::wstring, HINTERNET> sessions;
  const bool named = !proxy.direct && !proxy.proxy.empty();
  const std::wstring key = userAgent + L"\n" + (named ? proxy.proxy + L"\n" + proxy.bypass : L"");
  std::lock_guard<std::mutex> lock(mutex);
  auto found = sessions.find(key);
  if (found != sessions.end()) return found->second;
  HINTERNET session = wincommon::OpenSessionFor(userAgent.c_str(), proxy, 0);
  if (session != nullptr) sessions[key] = session;
  return session;
}

}  // namespace

// Plain http with no proxy in the way goes over Winsock: WinHTTP adds nothing there, and some
// implementations of it read a response 8 KiB at a time. Everything else goes through WinHTTP.
OriginOpened openOrigin(const OriginRequest& request, const FetchHooks& hooks, const FetchSettings& settings) {
  OriginOpened opened;
  std::optional<HttpUrl> url = parseHttpUrl(request.url);
  if (!url) {
    opened.failure = FetchResult::BadAnswer;
    opened.detail = "not an http or https URL";
    return opened;
  }
  // The user's proxy setting is read through WinHTTP even for plain http.
  const WinHttpFunctions* winhttp = wincommon::WinHttp();
  if (winhttp == nullptr) {
    opened.failure = FetchResult::ConnectFailed;
    opened.detail = "WinHTTP cannot be used: " + wincommon::SystemFunctionsFailure();
    return opened;
  }
  std::optional<ProxyChoice> found =
      wincommon::UserProxyFor(*winhttp, toWide(request.url), L"Tessel Download Service", hooks.abort);
  if (!found) {
    opened.failure = FetchResult::Stopped;
    opened.detail = "stopped";
    return opened;
  }
  if (!url->secure && found->direct) return openOriginOverSockets(request, hooks, settings);
  HINTERNET session = sharedSession(toWide(settings.userAgent), *found);
  if (session == nullptr) {
    opened.failure = FetchResult::ConnectFailed;
    opened.detail = systemError(found->direct ? "WinHTTP cannot start" : "WinHTTP cannot use the proxy");
    return opened;
  }
  auto exchange = std::make_unique<WinHttpExchange>(*winhttp, hooks);
  if (exchange->open(session, request, settings, &opened)) opened.exchange = std::move(exchange);
  return opened;
}

}  // namespace svc
