#include <windows.h>
#include <wininet.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "net/URL.h"
#include "support/Exceptions.h"
#include "support/Log.h"
#include "support/stringify.h"

namespace {

// Owns one WinINet handle; closing it is the only way out.
class InternetHandle {
 public:
  InternetHandle() : handle(nullptr) {}
  ~InternetHandle() {
    if (handle != nullptr) InternetCloseHandle(handle);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  void reset(HINTERNET value) { handle = value; }
  HINTERNET get() const { return handle; }
  explicit operator bool() const { return handle != nullptr; }

 private:
  HINTERNET handle;
};

// The handles of one request. Members are destroyed in reverse order:
// request, then connection; the Internet handle is the run's.
struct OpenRequest {
  InternetHandle connection;
  InternetHandle request;
};

// One Internet handle for the whole run: WinINet keeps the connections of a
// handle alive and reuses them, so every fetch goes through the same one.
CRITICAL_SECTION sessionLock;
HINTERNET session = nullptr;

HINTERNET sessionHandle() {
  EnterCriticalSection(&sessionLock);
  if (session == nullptr) session = InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET handle = session;
  DWORD code = GetLastError();
  LeaveCriticalSection(&sessionLock);
  if (handle == nullptr) throw IOException("InternetOpen: " + stringify(static_cast<unsigned>(code)));
  return handle;
}

constexpr std::size_t kReadSize = 8192;
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
// An unknown authority is retried with its check switched off; a server whose
// certificate still fails after that is refused rather than retried for ever.
constexpr int kMaxUnknownAuthorityRetries = 2;

bool transientSendFailure(DWORD code) {
  return code == ERROR_INTERNET_TIMEOUT || code == ERROR_INTERNET_CANNOT_CONNECT ||
         code == ERROR_INTERNET_CONNECTION_RESET || code == ERROR_INTERNET_CONNECTION_ABORTED;
}

// The wait a Retry-After header asks for in seconds; -1 for none or a date.
int64_t retryAfter(HINTERNET request) {
  char text[32] = {};
  DWORD size = sizeof text - 1;
  if (!HttpQueryInfoA(request, HTTP_QUERY_RETRY_AFTER, text, &size, nullptr)) return -1;
  if (text[0] < '0' || text[0] > '9') return -1;
  return std::strtoll(text, nullptr, 10);
}

void sendRequest(HINTERNET request, const std::string& headers, FetchFailure& failed) {
  int retries = 0;
  for (;;) {
    // Without a range to ask for, no header of our own goes out.
    if (HttpSendRequestA(request, headers.empty() ? nullptr : headers.c_str(), static_cast<DWORD>(headers.size()),
                         nullptr, 0))
      return;
    DWORD code = GetLastError();
    if (code == ERROR_INTERNET_INVALID_CA && retries < kMaxUnknownAuthorityRetries) {
      ++retries;
      DWORD flags = 0;
      DWORD size = sizeof flags;
      InternetQueryOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size);
      flags |= SECURITY_FLAG_IGNORE_UNKNOWN_CA;
      InternetSetOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
      continue;
    }
    failed.transient = transientSendFailure(code);
    switch (code) {
      case ERROR_INTERNET_TIMEOUT:
        throwSendFailure(SendFailure::TimedOut, "");
      case ERROR_INTERNET_NAME_NOT_RESOLVED:
        throwSendFailure(SendFailure::HostNotResolved, "");
      case ERROR_INTERNET_CANNOT_CONNECT:
        throwSendFailure(SendFailure::Refused, "");
      default:
        throwSendFailure(SendFailure::Other, stringify(code));
    }
  }
}

// Reads past a short unwanted body so WinINet can reuse its connection.
void skipShortBody(HINTERNET request) {
  char buffer[8192];
  DWORD total = 0;
  DWORD count = 0;
  while (total <= 64 * 1024 && InternetReadFile(request, buffer, sizeof buffer, &count) && count > 0) total += count;
}

// One header of the answer as text, "" when it has none.
std::string answerHeader(HINTERNET request, DWORD which) {
  char text[512] = {};
  DWORD size = sizeof text - 1;
  if (!HttpQueryInfoA(request, which, text, &size, nullptr)) return std::string();
  return std::string(text, size < sizeof text ? size : sizeof text - 1);
}

// Returns the status of an answer that carries the body asked for: 200, or
// with a range asked (`headers` not empty) also 206 and 416.
int openRequest(const std::string& address, const std::string& headers, OpenRequest& open, FetchFailure& failed) {
  InternetAttemptConnect(0);

  char host[kMaxHostLength + 1] = {};
  char path[kMaxPathLength + 1] = {};
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof host;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = sizeof path;
  // Without asking for the extra information the path keeps its query.
  if (!InternetCrackUrlA(address.c_str(), 0, 0, &parts) || parts.dwHostNameLength == 0 ||
      parts.dwHostNameLength > kMaxHostLength || parts.dwUrlPathLength > kMaxPathLength ||
      (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS))
    throw IOException(badUrlText(address));

  HINTERNET internet = sessionHandle();
  open.connection.reset(
      InternetConnectA(internet, host, parts.nPort, "", "", INTERNET_SERVICE_HTTP, 0, 0));
  if (!open.connection) throw IOException("InternetConnect: " + stringify(GetLastError()));

  DWORD flags = kRequestFlags;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  open.request.reset(HttpOpenRequestA(open.connection.get(), "GET", path, nullptr, nullptr, nullptr, flags, 0));
  if (!open.request) throw IOException("HttpOpenRequest: unknown error " + stringify(GetLastError()));

  // Only tests shorten the wait for a silent server; otherwise WinINet's own applies.
  if (stallTimeoutForTesting() > 0) {
    DWORD milliseconds = static_cast<DWORD>(stallTimeoutForTesting() * 1000);
    InternetSetOptionA(open.request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &milliseconds, sizeof milliseconds);
  }
  sendRequest(open.request.get(), headers, failed);

  char status[20] = {};
  DWORD statusSize = sizeof status;
  if (!HttpQueryInfoA(open.request.get(), HTTP_QUERY_STATUS_CODE, status, &statusSize, nullptr)) {
    status[0] = '\0';
  }
  status[sizeof status - 1] = '\0';
  const int code = std::atoi(status);
  if (code == 200 || (!headers.empty() && (code == 206 || code == 416))) return code;
  failed.transient = code >= 500 || code == 429;
  failed.retryAfterSeconds = retryAfter(open.request.get());
  skipShortBody(open.request.get());
  throwStatusFailure(status);
}

// The announced length, read as text: the number form is 32 bits wide and
// wraps for bodies over 4 GiB. -1 when none was announced or it is not a number.
int64_t contentLength(HINTERNET request) {
  char text[32] = {};
  DWORD size = sizeof text - 1;
  if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return -1;
  text[sizeof text - 1] = '\0';
  if (text[0] < '0' || text[0] > '9') return -1;
  char* end = nullptr;
  errno = 0;
  unsigned long long value = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || value > static_cast<unsigned long long>(INT64_MAX)) return -1;
  return static_cast<int64_t>(value);
}

}  // namespace

void initializeNetworking() { InitializeCriticalSection(&sessionLock); }

std::string URL::transfer(std::size_t pieceSize, BodySink& sink) {
  std::string headers;
  for (const std::string& line : rangeHeaders(rangeOffset, rangeValidator)) headers += line + "\r\n";
  OpenRequest open;
  Answer answer;
  answer.status = openRequest(address, headers, open, failed);
  answer.length = contentLength(open.request.get());
  answer.contentRange = answerHeader(open.request.get(), HTTP_QUERY_CONTENT_RANGE);
  answer.validator = answerHeader(open.request.get(), HTTP_QUERY_ETAG);
  if (answer.validator.empty()) answer.validator = answerHeader(open.request.get(), HTTP_QUERY_LAST_MODIFIED);
  sink.begin(answer);

  // Reads of 8 KiB: WinINet fills the whole buffer before it returns, and a
  // slow link must still show its progress.
  const DWORD readSize = static_cast<DWORD>(pieceSize < kReadSize ? pieceSize : kReadSize);
  std::vector<char> buffer(readSize);
  for (;;) {
    DWORD count = 0;
    if (!InternetReadFile(open.request.get(), buffer.data(), readSize, &count)) {
      if (GetLastError() == ERROR_INTERNET_TIMEOUT) return kNotRespondingText;
      return systemErrorText();
    }
    if (count == 0) return std::string();
    sink.piece(buffer.data(), count);
  }
}
