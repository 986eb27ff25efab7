#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <strings.h>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/URL.h"
#include "support/Exceptions.h"
#include "support/stringify.h"

namespace {

// The figures WinINet would apply by default: give up on a connection after
// this long, and on a transfer that has moved no byte for this long.
constexpr long kConnectTimeoutSeconds = 60;
constexpr long kStallTimeoutSeconds = 60;
// Large receives keep the system calls few; the body is still handed on in
// pieces of the caller's size.
constexpr long kReceiveBufferSize = 256 * 1024;
// WinINet follows redirections itself; so does this, up to a bound.
constexpr long kMaxRedirects = 10;
// The most of an unwanted answer's body read to keep its connection.
constexpr std::size_t kMaxSkippedBody = 64 * 1024;

struct CurlDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlUrlDeleter {
  void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
struct CurlTextDeleter {
  void operator()(char* text) const { curl_free(text); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;
using CurlUrlHandle = std::unique_ptr<CURLU, CurlUrlDeleter>;
using CurlText = std::unique_ptr<char, CurlTextDeleter>;

// The connections, name lookups and TLS sessions of one thread's transfers,
// kept alive and reused, and the one handle they run on. One per thread:
// libcurl's shared connection pool is not safe for transfers running at the
// same time on several threads.
class Session {
 public:
  Session() : share(curl_share_init()), easy(curl_easy_init()) {
    if (share == nullptr) return;
    curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &Session::lock);
    curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &Session::unlock);
    curl_share_setopt(share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  }
  ~Session() {
    easy.reset();  // the share may only go once no handle uses it
    if (share != nullptr) curl_share_cleanup(share);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  CURLSH* get() const { return share; }
  // Reused for every transfer: a fresh one costs its buffers and a socket pair
  // each time. Set up anew by the caller; nullptr when it could not be made.
  CURL* handle() const { return easy.get(); }

 private:
  static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<Session*>(self)->locks[data].lock();
  }
  static void unlock(CURL*, curl_lock_data data, void* self) { static_cast<Session*>(self)->locks[data].unlock(); }

  CURLSH* share;
  CurlHandle easy;
  std::mutex locks[CURL_LOCK_DATA_LAST];
};

thread_local std::unique_ptr<Session> session;

// One part of a split URL, or nullptr when it has none.
CurlText urlPart(CURLU* url, CURLUPart part) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, 0) != CURLUE_OK) return CurlText();
  return CurlText(text);
}

// Splits the URL the way the Windows build does, with the same limits on the
// host and on the path with its query.
CurlUrlHandle splitUrl(const std::string& address) {
  CurlUrlHandle url(curl_url());
  if (!url) throw IOException("curl_url: out of memory");
  if (curl_url_set(url.get(), CURLUPART_URL, address.c_str(), CURLU_PATH_AS_IS) != CURLUE_OK)
    throw IOException(badUrlText(address));
  CurlText scheme = urlPart(url.get(), CURLUPART_SCHEME);
  CurlText host = urlPart(url.get(), CURLUPART_HOST);
  CurlText path = urlPart(url.get(), CURLUPART_PATH);
  CurlText query = urlPart(url.get(), CURLUPART_QUERY);
  std::size_t pathLength = (path ? std::strlen(path.get()) : 0) + (query ? 1 + std::strlen(query.get()) : 0);
  bool web = scheme && (std::strcmp(scheme.get(), "http") == 0 || std::strcmp(scheme.get(), "https") == 0);
  if (!web || !host || host.get()[0] == '\0' || std::strlen(host.get()) > kMaxHostLength ||
      pathLength > kMaxPathLength)
    throw IOException(badUrlText(address));
  return url;
}

struct CurlListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

// Whether the header line is "name: value" (any case), and the value then.
bool headerValue(const char* bytes, size_t count, const char* name, std::string& value) {
  const size_t length = std::strlen(name);
  if (count <= length || strncasecmp(bytes, name, length) != 0 || bytes[length] != ':') return false;
  size_t begin = length + 1;
  size_t end = count;
  while (begin < end && (bytes[begin] == ' ' || bytes[begin] == '\t')) ++begin;
  while (end > begin && (bytes[end - 1] == '\r' || bytes[end - 1] == '\n' || bytes[end - 1] == ' ')) --end;
  value.assign(bytes + begin, end - begin);
  return true;
}

// One transfer's callbacks: whether the server accepted the request, and the
// body in pieces of at most the caller's size.
class Transfer {
 public:
  Transfer(CURL* handle, std::size_t size, URL::BodySink& bodySink, long stallSeconds, bool ranged)
      : curl(handle),
        pieceSize(size),
        sink(bodySink),
        rangeAsked(ranged),
        accepted(false),
        begun(false),
        stalled(false),
        lastStatus(0),
        stallLimit(std::chrono::seconds(stallSeconds)),
        lastBytes(0),
        lastMove(std::chrono::steady_clock::now()) {}

  // curl calls this about once a second even while nothing arrives: a
  // transfer that has moved no byte for the stall time-out is given up.
  static int onProgress(void* self, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(self)->watch(received);
  }
  bool hasStalled() const { return stalled; }

  static size_t onHeader(char* bytes, size_t size, size_t count, void* self) {
    return static_cast<Transfer*>(self)->header(bytes, size * count);
  }
  static size_t onBody(char* bytes, size_t size, size_t count, void* self) {
    return static_cast<Transfer*>(self)->body(bytes, size * count);
  }

  // After the transfer: rethrows what a consumer threw inside curl, or tells
  // the sink of an answer that had no body.
  void finish() {
    if (failure) std::rethrow_exception(failure);
    if (accepted) start();
  }

  bool wasAccepted() const { return accepted; }
  // The status of the last complete header block (0 when none arrived).
  long lastHeaderStatus() const { return lastStatus; }

 private:
  void start() {
    if (begun) return;
    begun = true;
    curl_off_t length = -1;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) length = -1;
    answer.length = length < 0 ? -1 : static_cast<int64_t>(length);
    answer.validator = etag.empty() ? lastModified : etag;
    sink.begin(answer);
  }

  int watch(curl_off_t received) {
    const auto now = std::chrono::steady_clock::now();
    if (received != lastBytes) {
      lastBytes = received;
      lastMove = now;
      return 0;
    }
    if (now - lastMove < stallLimit) return 0;
    stalled = true;
    return 1;
  }

  size_t header(const char* bytes, size_t count) {
    lastMove = std::chrono::steady_clock::now();
    // Each answer (informational ones and followed redirections too) starts
    // with its status line; only the last one's headers count.
    if (count >= 5 && std::strncmp(bytes, "HTTP/", 5) == 0) {
      etag.clear();
      lastModified.clear();
      answer.contentRange.clear();
    }
    if (!headerValue(bytes, count, "ETag", etag) && !headerValue(bytes, count, "Last-Modified", lastModified))
      headerValue(bytes, count, "Content-Range", answer.contentRange);
    // A bare line end closes one answer's header block.
    if (count <= 2 && (count == 0 || bytes[0] == '\r' || bytes[0] == '\n')) {
      long status = 0;
      curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
      if (status >= 200) lastStatus = status;
      if (status == 200 || (rangeAsked && (status == 206 || status == 416))) {
        accepted = true;
        answer.status = static_cast<int>(status);
      }
    }
    return count;
  }

  size_t body(const char* bytes, size_t count) {
    // The body of any other answer is not wanted: a short one is read past so
    // the connection stays usable, a long one refused, which ends the transfer.
    if (!accepted) {
      skipped += count;
      return skipped <= kMaxSkippedBody ? count : 0;
    }
    const size_t taken = count;
    try {
      start();
      while (count > 0) {
        const std::size_t part = std::min(count, pieceSize);
        sink.piece(bytes, part);
        bytes += part;
        count -= part;
      }
    } catch (...) {
      // Nothing may travel through curl's C frames; finish() rethrows it.
      failure = std::current_exception();
      return 0;
    }
    // Time spent handing the body on (the rate limit's waits among it) is not
    // the server's silence, whenever curl counts these bytes: the watch starts again here.
    lastMove = std::chrono::steady_clock::now();
    return taken;
  }

  CURL* curl;
  std::size_t pieceSize;
  URL::BodySink& sink;
  bool rangeAsked;
  bool accepted;
  bool begun;
  bool stalled;
  long lastStatus;
  std::size_t skipped = 0;
  std::chrono::steady_clock::duration stallLimit;
  curl_off_t lastBytes;
  std::chrono::steady_clock::time_point lastMove;
  URL::Answer answer;
  std::string etag;
  std::string lastModified;
  std::exception_ptr failure;
};

// Server errors and "too many requests" may pass; other answers will not.
bool transientStatus(long status) { return status >= 500 || status == 429; }

bool transientResult(CURLcode result) {
  switch (result) {
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_COULDNT_CONNECT:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_SSL_CONNECT_ERROR:
      return true;
    default:
      return false;
  }
}

// The failures WinINet names, for curl's codes.
[[noreturn]] void throwSendFailure(CURLcode result) {
  switch (result) {
    case CURLE_OPERATION_TIMEDOUT:
      throwSendFailure(SendFailure::TimedOut, "");
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      throwSendFailure(SendFailure::HostNotResolved, "");
    case CURLE_COULDNT_CONNECT:
      throwSendFailure(SendFailure::Refused, "");
    default:
      throwSendFailure(SendFailure::Other, stringify(static_cast<int>(result)));
  }
}

// Why a body that had begun broke off, in the words of the failures before it.
std::string bodyFailureText(CURLcode result) {
  switch (result) {
    case CURLE_OK:
      return std::string();
    case CURLE_OPERATION_TIMEDOUT:
      return kNotRespondingText;
    default:
      return curl_easy_strerror(result);
  }
}

}  // namespace

void initializeNetworking() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
}

std::string URL::transfer(std::size_t pieceSize, BodySink& sink) {
  CurlUrlHandle url = splitUrl(address);
  if (!session) session.reset(new Session());
  CURL* handle = session->handle();
  if (handle == nullptr) throw IOException("curl_easy_init: out of memory");
  // The options point into this call's frame: they go with it, the connections stay.
  struct ResetOnReturn {
    CURL* handle;
    ~ResetOnReturn() { curl_easy_reset(handle); }
  } resetOnReturn{handle};
  const long stall = stallTimeoutForTesting();
  Transfer transfer(handle, pieceSize, sink, stall > 0 ? stall : kStallTimeoutSeconds, rangeOffset > 0);
  CurlList headers;
  for (const std::string& line : rangeHeaders(rangeOffset, rangeValidator)) {
    curl_slist* longer = curl_slist_append(headers.get(), line.c_str());
    if (longer == nullptr) throw IOException("curl_slist_append: out of memory");
    headers.release();
    headers.reset(longer);
  }

  curl_easy_setopt(handle, CURLOPT_CURLU, url.get());
  if (session->get() != nullptr) curl_easy_setopt(handle, CURLOPT_SHARE, session->get());
  curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
  if (headers) curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
  // The server is accepted whoever vouches for its certificate and whatever
  // name it carries, as the Windows build does.
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);

  CURLcode result = curl_easy_perform(handle);
  if (transfer.hasStalled()) result = CURLE_OPERATION_TIMEDOUT;
  transfer.finish();
  // Once the server has accepted, a failure inside the body ends it; the
  // caller decides what an incomplete body means.
  if (transfer.wasAccepted()) return bodyFailureText(result);
  long status = transfer.lastHeaderStatus();
  bool redirection = status >= 300 && status < 400;
  if (result == CURLE_OK || result == CURLE_WRITE_ERROR || (status != 0 && !redirection)) {
    if (status == 0) curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    failed.transient = transientStatus(status);
    curl_off_t wait = -1;
    if (curl_easy_getinfo(handle, CURLINFO_RETRY_AFTER, &wait) == CURLE_OK && wait > 0)
      failed.retryAfterSeconds = static_cast<int64_t>(wait);
    throwStatusFailure(stringify(status));
  }
  failed.transient = transientResult(result);
  throwSendFailure(result);
}
