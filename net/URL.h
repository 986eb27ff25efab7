#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

class URL;

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
  void fetchToString(std::string& text);
  // onChunk, when given, sees every piece of the body as it is written.
  void fetchToFile(FILE* file, const std::function<void(const char*, std::size_t)>& onChunk = {});

  // After a fetch: the body bytes that arrived, and the length the server
  // announced (-1 when it announced none).
  uint64_t bytesReceived() const { return received; }
  int64_t announcedLength() const { return announced; }

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
  void fetch(std::size_t pieceSize, const std::function<void(const char*, std::size_t)>& consume);
  void notifyObservers();
  // The platform's transport: performs the GET and hands the body to the sink
  // in pieces of pieceSize bytes (the last may be shorter). Throws for every
  // failure before the body; a failure inside the body just ends it.
  void transfer(std::size_t pieceSize, BodySink& sink);

  uint64_t received;
  int64_t announced;
};

// The user agent every request sends.
extern const char* const kUserAgent;
// Longest host name and longest path with its query that a URL may carry.
constexpr std::size_t kMaxHostLength = 127;
constexpr std::size_t kMaxPathLength = 1023;
// The failure for a URL the fetcher cannot split into host and path.
std::string badUrlText(const std::string& address);
