#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

class URL;

// What a failed fetch says about trying again: a refused, reset or silent
// connection, a body cut short, 5xx and 429 may pass; the rest will not.
struct FetchFailure {
  bool transient = false;
  // The wait the server asked for with Retry-After, -1 when it asked none.
  int64_t retryAfterSeconds = -1;
};

class URLObserver {
 public:
  virtual void notify(URL& url) = 0;

 protected:
  ~URLObserver() = default;
};

// Sets up the HTTP client library for the process. Call once from the entry,
// before any second thread exists.
void initializeNetworking();

// One HTTP GET of one absolute http or https URL.
class URL {
 public:
  explicit URL(const std::string& address);
  ~URL();
  URL(const URL&) = delete;
  URL& operator=(const URL&) = delete;

  void addObserver(URLObserver* observer);
  // Append the body to the text / write it to a file opened for binary writing.
  // Throw IOException or FileNotFoundException.
  // A body of more than `limit` bytes (announced or arriving) fails with
  // IOException tooLargeText(limit); the text then holds at most limit bytes.
  // A text that broke off or came shorter than announced is what arrived
  // (incompleteBodyText() tells).
  void fetchToString(std::string& text, uint64_t limit = UINT64_MAX);
  // onChunk, when given, sees every piece of the body as it is written.
  void fetchToFile(FILE* file, const std::function<void(const char*, std::size_t)>& onChunk = {});
  // The body in pieces of any size to consume, after start has been told, once
  // the server has answered, the byte of the file the body begins at
  // (bodyOffset()). Throws as fetchToString.
  void fetchPieces(const std::function<void(uint64_t offset)>& start,
                   const std::function<void(const char*, std::size_t)>& consume);

  // Asks the next fetch for the file from byte `offset` on (a Range request;
  // 0 asks for the whole file, as without it), while the file is still the one
  // `validator` names (If-Range; "" sends none). The server decides what comes:
  // the rest (206) or the whole file; an answer that fits neither is asked
  // again without the range.
  void resumeFrom(uint64_t offset, const std::string& validator);

  // After a fetch: the body bytes that arrived, the length of the whole file
  // the server announced (-1 when it announced none), the byte of the file the
  // body began at (0 unless the rest of it came), the server's validator for
  // the file (its ETag, else its Last-Modified, "" for none).
  uint64_t bytesReceived() const { return received; }
  int64_t announcedLength() const { return announced; }
  uint64_t bodyOffset() const { return offset; }
  const std::string& validator() const { return answerValidator; }
  // After a fetch: "" when the body is whole, else why not: "incomplete
  // download (N of M bytes)" or "download too long (N of M bytes)" against the
  // announced length (`expected` when none was announced; -1: unknown), else
  // "download failed after N bytes (WHY)" when it broke off after the server
  // had accepted. A body cut short by a clean close with no length known looks whole.
  std::string incompleteBodyText(int64_t expected = -1) const;
  // After a fetch that threw: whether trying again may help.
  const FetchFailure& failure() const { return failed; }

  // Tests only: how long a transfer may move no byte before it fails with
  // "Server not responding" (60 s, or the platform's default, otherwise).
  // 0 restores the default.
  static void setStallTimeoutForTesting(long seconds);

  std::vector<URLObserver*> observers;
  std::string address;
  int32_t progress;

  // What the server said before the body.
  struct Answer {
    int status = 200;  // 200; with a range asked, also 206 or 416
    int64_t length = -1;  // Content-Length, -1 for none
    std::string contentRange;  // "" for none
    std::string validator;  // ETag, else Last-Modified, "" for none
  };

  // Where the platform's transport hands the body: `begin` once the server has
  // answered, then every piece in order.
  class BodySink {
   public:
    virtual void begin(const Answer& answer) = 0;
    virtual void piece(const char* bytes, std::size_t count) = 0;

   protected:
    ~BodySink() = default;
  };

 private:
  void fetch(std::size_t pieceSize, std::size_t step, uint64_t limit, const std::function<void(uint64_t)>& start,
             const std::function<void(const char*, std::size_t)>& consume);
  void notifyObservers();
  // The platform's transport: performs the GET (with Range and If-Range
  // headers when rangeOffset is not 0) and hands the body to the sink in
  // pieces of at most pieceSize bytes. Throws for every
  // failure before the body; a failure inside the body ends it and is
  // returned as its text ("" for none).
  std::string transfer(std::size_t pieceSize, BodySink& sink);

  uint64_t rangeOffset;
  std::string rangeValidator;
  uint64_t received;
  int64_t announced;
  uint64_t offset;
  std::string answerValidator;
  std::string broken;
  FetchFailure failed;
};

// The user agent every request sends.
extern const char* const kUserAgent;
// Longest host name and longest path with its query that a URL may carry.
constexpr std::size_t kMaxHostLength = 127;
constexpr std::size_t kMaxPathLength = 1023;
// The failure for a URL the fetcher cannot split into host and path.
std::string badUrlText(const std::string& address);
// The failure for an answer longer than a fetch into a text allows.
std::string tooLargeText(uint64_t limit);
// The stall time-out a test has set, or 0 for the default.
long stallTimeoutForTesting();

// The failures both transports report, in one set of words: FileNotFoundException
// "Server not responding", "Can't resolve hostname", "Server refused connection",
// or IOException "HttpSendRequest: unknown error CODE".
enum class SendFailure { TimedOut, HostNotResolved, Refused, Other };
[[noreturn]] void throwSendFailure(SendFailure kind, const std::string& code);
// FileNotFoundException "Server data not available (error code STATUS)" for an
// answer other than the one asked for; `status` as the server sent it.
[[noreturn]] void throwStatusFailure(const std::string& status);
// A body that went silent.
extern const char* const kNotRespondingText;
// The request headers asking for the file from `offset` on, while it is the one
// `validator` names: "Range: bytes=N-" and "If-Range: V", without line ends.
std::vector<std::string> rangeHeaders(uint64_t offset, const std::string& validator);
