#include "server/server_request.h"

#include <atomic>
#include <string.h>

#include "server/form_encoding.h"
#include "server/xml_replies.h"
#include "windows_common/winhttp_functions.h"
#include "windows_common/user_proxy.h"

namespace {

constexpr wchar_t kUserAgent[] = L"Tessel Download Client";
constexpr DWORD kReceiveBufferSize = 1024;
// Every completion, the progress notifications that are ignored when they come, and the handle
// notifications (the closing one is the last for a request, when its exchange can go).
constexpr DWORD kNotificationMask = WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_CONNECT_TO_SERVER |
                                    WINHTTP_CALLBACK_FLAG_SEND_REQUEST | WINHTTP_CALLBACK_FLAG_RECEIVE_RESPONSE |
                                    WINHTTP_CALLBACK_FLAG_CLOSE_CONNECTION | WINHTTP_CALLBACK_FLAG_HANDLES;

std::string utf8Of(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
  }
  return bytes;
}

// The whole answer as text: UTF-8 (what XML is unless it says otherwise) when it is valid UTF-8,
// else the system's ANSI code page. Decoded once, whole: a character split between two reads
// would otherwise be lost.
std::wstring textOf(const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  const int length = static_cast<int>(bytes.size());
  UINT codePage = CP_UTF8;
  int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
  if (size <= 0) {
    codePage = CP_ACP;
    size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  }
  if (size <= 0) return std::wstring();
  std::wstring text(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), length, &text[0], size);
  return text;
}

}  // namespace

// Everything of one request: its handles, the form body WinHTTP sends from, the receive buffer
// and the answer so far. It is the context of the request's notifications and lives until the
// request handle's closing notification, so late notifications never touch freed memory or a
// later request.
struct ServerRequest::Exchange {
  ServerRequest* owner;
  RequestKind kind;
  // Null when WinHTTP cannot be had: then no handle is ever opened and the request fails at once.
  const wincommon::WinHttpFunctions* winhttp = wincommon::WinHttp();
  HINTERNET root = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
  std::string body;
  char buffer[kReceiveBufferSize];
  std::string response;  // the answer's bytes so far
  std::atomic<bool> active{false};

  Exchange(ServerRequest* requestOwner, RequestKind requestKind) : owner(requestOwner), kind(requestKind) {
    memset(buffer, 0, sizeof buffer);
  }

  static void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID information, DWORD length) {
    Exchange* exchange = reinterpret_cast<Exchange*>(context);
    if (exchange == nullptr) return;
    if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
      if (handle == exchange->request) delete exchange;
      return;
    }
    if (!exchange->active) return;
    exchange->owner->OnExchangeNotification(exchange, status, information, length);
  }

  bool ReadMore() {
    memset(buffer, 0, sizeof buffer);
    return winhttp->WinHttpReadData(request, buffer, kReceiveBufferSize, nullptr) != FALSE;
  }

  // Closes the handles; the exchange itself goes with the request handle's closing notification,
  // or now when there never was a request handle.
  void CloseHandles() {
    HINTERNET requestHandle = request;
    if (root != nullptr) winhttp->WinHttpCloseHandle(root);
    if (connection != nullptr) winhttp->WinHttpCloseHandle(connection);
    if (requestHandle != nullptr) {
      winhttp->WinHttpCloseHandle(requestHandle);
    } else {
      delete this;
    }
  }
};

ServerRequest::ServerRequest(ServerHooks* hooks, ServerAddress address) : hooks_(hooks), address_(std::move(address)) {}

ServerRequest::~ServerRequest() { Close(); }

void ServerRequest::RequestSid(const std::wstring& gameCode) {
  kind_ = RequestKind::Sid;
  Send(L"/" + gameCode, PropertyList(), false);
}

void ServerRequest::RequestConfig(const std::wstring& gameCode, const std::wstring& sid) {
  kind_ = RequestKind::Config;
  Send(L"/" + gameCode + L"/" + sid + L"/config", PropertyList(), false);
}

void ServerRequest::PostStats(const std::wstring& gameCode, const std::wstring& sid, const PropertyList& list) {
  kind_ = RequestKind::Stats;
  Send(L"/" + gameCode + L"/" + sid + L"/stats", list, true);
}

void ServerRequest::Send(const std::wstring& path, const PropertyList& list, bool post) {
  Close();
  Exchange* exchange = new Exchange(this, kind_);
  exchange->body = utf8Of(EncodeForm(list));
  const wincommon::WinHttpFunctions* winhttp = exchange->winhttp;
  const std::wstring fullPath = address_.basePath + path;
  if (winhttp != nullptr) {
    // Through the proxy the player's browser uses: behind a school's or an office's proxy nothing
    // else reaches the publisher or the analytics server.
    const std::wstring url = std::wstring(address_.secure ? L"https://" : L"http://") + address_.host + L":" +
                             std::to_wstring(address_.port) + fullPath;
    exchange->root = wincommon::OpenUserProxySession(kUserAgent, url, WINHTTP_FLAG_ASYNC);
  }
  if (exchange->root != nullptr) {
    exchange->connection =
        winhttp->WinHttpConnect(exchange->root, address_.host.c_str(), static_cast<INTERNET_PORT>(address_.port), 0);
  }
  if (exchange->connection != nullptr) {
    exchange->request = winhttp->WinHttpOpenRequest(exchange->connection, post ? L"POST" : L"GET", fullPath.c_str(),
                                                    nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                    address_.secure ? WINHTTP_FLAG_SECURE : 0);
  }
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(exchange);
  bool ready = exchange->request != nullptr &&
               winhttp->WinHttpSetOption(exchange->request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context) &&
               winhttp->WinHttpSetStatusCallback(exchange->request, Exchange::OnStatus, kNotificationMask, 0) !=
                   WINHTTP_INVALID_STATUS_CALLBACK;
  {
    std::lock_guard<std::mutex> guard(lock_);
    current_ = exchange;
    exchange->active = true;
  }
  BOOL sent = FALSE;
  if (ready && post) {
    winhttp->WinHttpAddRequestHeaders(exchange->request, L"Content-Type: application/x-www-form-urlencoded",
                                      static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD);
    DWORD size = static_cast<DWORD>(exchange->body.size());
    sent = winhttp->WinHttpSendRequest(exchange->request, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                       size > 0 ? &exchange->body[0] : WINHTTP_NO_REQUEST_DATA, size, size, context);
  } else if (ready) {
    sent = winhttp->WinHttpSendRequest(exchange->request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                                       0, context);
  }
  // A request that could not even be sent is a failed request: the retries take over rather than
  // the program waiting for an answer that cannot come.
  RequestKind kind = exchange->kind;
  if (!sent && Finish(exchange)) Dispatch(kind, std::wstring(), true);
}

bool ServerRequest::Busy() {
  std::lock_guard<std::mutex> guard(lock_);
  return current_ != nullptr;
}

void ServerRequest::Close() {
  Exchange* exchange;
  {
    std::lock_guard<std::mutex> guard(lock_);
    exchange = current_;
    current_ = nullptr;
    if (exchange != nullptr) exchange->active = false;
  }
  if (exchange != nullptr) exchange->CloseHandles();
}

bool ServerRequest::Finish(Exchange* exchange) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (current_ != exchange) return false;
    current_ = nullptr;
    exchange->active = false;
  }
  exchange->CloseHandles();
  return true;
}

void ServerRequest::OnExchangeNotification(Exchange* exchange, unsigned long status, void* information,
                                           unsigned long length) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (current_ != exchange) return;
  }
  RequestKind kind = exchange->kind;
  bool failed = false;
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_WRITE_COMPLETE:
      failed = !exchange->winhttp->WinHttpReceiveResponse(exchange->request, nullptr);
      break;
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE: {
      DWORD code = 0;
      DWORD size = sizeof code;
      exchange->winhttp->WinHttpQueryHeaders(exchange->request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                             WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX);
      // Another status is treated as a failed request, so that the retries take over instead of
      // the program waiting for an answer that will not come.
      failed = code != HTTP_STATUS_OK || !exchange->ReadMore();
      break;
    }
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      if (length > 0) {
        exchange->response.append(static_cast<const char*>(information), length);
        failed = !exchange->ReadMore();
      } else {
        std::wstring response = textOf(exchange->response);
        if (Finish(exchange)) Dispatch(kind, response, false);
      }
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      failed = true;
      break;
    default:
      break;
  }
  if (failed && Finish(exchange)) Dispatch(kind, std::wstring(), true);
}

void ServerRequest::Dispatch(RequestKind kind, const std::wstring& response, bool failed) {
  switch (kind) {
    case RequestKind::Sid:
      if (failed) {
        hooks_->OnServerRequestFailed(RequestKind::Sid);
      } else {
        hooks_->OnSidReply(ParseSidReply(response));
      }
      break;
    case RequestKind::Config:
      if (failed) {
        hooks_->OnServerRequestFailed(RequestKind::Config);
      } else {
        hooks_->OnConfigReply(ParseConfigReply(response));
      }
      break;
    default:
      break;
  }
}
