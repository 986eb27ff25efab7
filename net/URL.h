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
  void fetchToString(std::string& text, uint64_t limit = UINT64_MAX);
  // onChunk, when given, sees every piece of the body as it is written.
  void fetchToFile(FILE* file, const std::function<void(const char*, std::size_t)>& onChunk = {});

  // After a fetch: the body bytes that arrived, the length the server
  // announced (-1 when it announced none), and why the body broke off after
  // the server had accepted ("" when the transfer ended without a failure; a
  // body cut short by a clean close without an announced length looks whole).
  uint64_t bytesReceived() const { return received; }
  int64_t announcedLength() const { return announced; }
  const std::string& bodyFailure() const { return broken; }
  // After a fetch that threw: whether trying again may help.
  const FetchFailure& failure() const { return failed; }

  // Tests only: how long a transfer may move no byte before it fails with
  // "Server not responding" (60 s, or the platform's default, otherwise).
  // 0 restores the default.
  static void setStallTimeoutForTesting(long seconds);

  std::vector<URLObserver*> observers;
  std::string address;
  int32_t progress;

  // Where the platform's transport hands the body: `begin` once the server has
  // answered 200 (with the announced length, -1 for none), then every piece in order.
  class BodySink {
   public:
    virtual void begin(int64_t announcedLength) = 0;
    virtual void piece(const char* bytes, std::size_t count) = 0;

   protected:
    ~BodySink() = default;
  };

 private:
  void fetch(std::size_t pieceSize, uint64_t limit, const std::function<void(const char*, std::size_t)>& consume);
  void notifyObservers();
  // The platform's transport: performs the GET and hands the body to the sink
  // in pieces of pieceSize bytes (the last may be shorter). Throws for every
  // failure before the body; a failure inside the body ends it and is
  // returned as its text ("" for none).
  std::string transfer(std::size_t pieceSize, BodySink& sink);

  uint64_t received;
  int64_t announced;
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
