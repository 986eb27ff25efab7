#include "net/URL.h"

#include <cerrno>
#include <cstring>

#include "net/RateLimit.h"
#include "support/Exceptions.h"
#include "support/Log.h"
#include "support/Version.h"

const char* const kUserAgent = "KestrawinAutoUpdate/" UPDATER_VERSION;

namespace {
// Pieces of the body: one short of the buffer for texts, the whole buffer for files.
constexpr std::size_t kStringPieceSize = 8191;
constexpr std::size_t kFilePieceSize = 8192;
}  // namespace

std::string badUrlText(const std::string& address) { return "Bad URL: '" + address + "'"; }

std::string tooLargeText(uint64_t limit) {
  return "Server answer too large (more than " + std::to_string(limit) + " bytes)";
}

namespace {
long testStallTimeout = 0;
}

void URL::setStallTimeoutForTesting(long seconds) { testStallTimeout = seconds; }

long stallTimeoutForTesting() { return testStallTimeout; }

URL::URL(const std::string& text) : address(text), progress(0), received(0), announced(-1) {}

URL::~URL() = default;

void URL::addObserver(URLObserver* observer) { observers.push_back(observer); }

void URL::fetchToString(std::string& text, uint64_t limit) {
  fetch(kStringPieceSize, limit, [&text](const char* bytes, std::size_t count) { text.append(bytes, count); });
}

void URL::fetchToFile(FILE* file, const std::function<void(const char*, std::size_t)>& onChunk) {
  fetch(kFilePieceSize, UINT64_MAX,
        [file, &onChunk](const char* bytes, std::size_t count) {
          // A short write would leave a file that looks complete by its byte
          // count but is not: stop here rather than go on.
          if (std::fwrite(bytes, 1, count, file) != count)
            throw IOException(std::string("fwrite: ") + std::strerror(errno));
          if (onChunk) onChunk(bytes, count);
        });
}

void URL::fetch(std::size_t pieceSize, uint64_t limit,
                const std::function<void(const char*, std::size_t)>& consume) {
  class Sink : public BodySink {
   public:
    Sink(URL& owner, uint64_t bound, const std::function<void(const char*, std::size_t)>& consumer)
        : url(owner), limit(bound), consume(consumer) {}

    void begin(int64_t length) override {
      url.announced = length;
      // Refused before a byte of it is read.
      if (length > 0 && static_cast<uint64_t>(length) > limit) throw IOException(tooLargeText(limit));
    }

    void piece(const char* bytes, std::size_t count) override {
      if (count > limit - url.received) throw IOException(tooLargeText(limit));
      // Waiting here holds back the reads, so the server's sending slows to the rate too.
      downloadRateLimit().take(count);
      consume(bytes, count);
      url.received += count;
      if (url.announced > 0) {
        // 64-bit arithmetic: a 32-bit product wraps for bodies above 42 MB.
        url.progress = static_cast<int32_t>(url.received * 100 / static_cast<uint64_t>(url.announced));
        url.notifyObservers();
      }
    }

   private:
    URL& url;
    uint64_t limit;
    const std::function<void(const char*, std::size_t)>& consume;
  };

  received = 0;
  announced = -1;
  broken.clear();
  failed = FetchFailure();
  logPrintf("url = %s\n", address.c_str());
  Sink sink(*this, limit, consume);
  broken = transfer(pieceSize, sink);
  // Without an announced length the only progress there is to tell is the end.
  // An announced length of 0 means an empty body: nothing to tell.
  if (announced < 0) {
    progress = 100;
    notifyObservers();
  }
}

void URL::notifyObservers() {
  for (URLObserver* observer : observers) observer->notify(*this);
}
