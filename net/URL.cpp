#include "net/URL.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "net/RateLimit.h"
#include "support/Exceptions.h"
#include "support/Log.h"
#include "support/Version.h"

const char* const kUserAgent = "KestrawinAutoUpdate/" UPDATER_VERSION;

namespace {
// Progress is told as if the body came in reads of these sizes: one short of
// the buffer for texts, the whole buffer for files.
constexpr std::size_t kStringStep = 8191;
constexpr std::size_t kFileStep = 8192;
// Files take what arrives in large pieces: a write and a digest update per
// 8 KiB cost more than the transfer itself.
constexpr std::size_t kFilePieceSize = 256 * 1024;

// The server's part does not begin where it was asked to: the file is asked for again whole.
struct RangeRefused {};

// The first byte of "bytes FIRST-LAST/TOTAL" and its total (-1 for "*");
// false when the text is not of that form.
bool parseContentRange(const std::string& text, uint64_t& first, int64_t& total) {
  unsigned long long from = 0, to = 0, whole = 0;
  char star = 0;
  if (std::sscanf(text.c_str(), "bytes %llu-%llu/%llu", &from, &to, &whole) == 3 && from <= to && to < whole) {
    first = from;
    total = static_cast<int64_t>(whole);
    return true;
  }
  if (std::sscanf(text.c_str(), "bytes %llu-%llu/%c", &from, &to, &star) == 3 && star == '*' && from <= to) {
    first = from;
    total = -1;
    return true;
  }
  return false;
}
}  // namespace

const char* const kNotRespondingText = "Server not responding";

void throwSendFailure(SendFailure kind, const std::string& code) {
  switch (kind) {
    case SendFailure::TimedOut:
      throw FileNotFoundException(kNotRespondingText);
    case SendFailure::HostNotResolved:
      throw FileNotFoundException("Can't resolve hostname");
    case SendFailure::Refused:
      throw FileNotFoundException("Server refused connection");
    case SendFailure::Other:
      break;
  }
  throw IOException("HttpSendRequest: unknown error " + code);
}

void throwStatusFailure(const std::string& status) {
  throw FileNotFoundException("Server data not available (error code " + status + ")");
}

std::vector<std::string> rangeHeaders(uint64_t offset, const std::string& validator) {
  std::vector<std::string> headers;
  if (offset == 0) return headers;
  headers.push_back("Range: bytes=" + std::to_string(offset) + "-");
  if (!validator.empty()) headers.push_back("If-Range: " + validator);
  return headers;
}

std::string badUrlText(const std::string& address) { return "Bad URL: '" + address + "'"; }

std::string tooLargeText(uint64_t limit) {
  return "Server answer too large (more than " + std::to_string(limit) + " bytes)";
}

namespace {
long testStallTimeout = 0;
}

void URL::setStallTimeoutForTesting(long seconds) { testStallTimeout = seconds; }

long stallTimeoutForTesting() { return testStallTimeout; }

URL::URL(const std::string& text)
    : address(text), progress(0), rangeOffset(0), received(0), announced(-1), offset(0) {}

URL::~URL() = default;

void URL::addObserver(URLObserver* observer) { observers.push_back(observer); }

void URL::resumeFrom(uint64_t from, const std::string& validator) {
  rangeOffset = from;
  rangeValidator = validator;
}

void URL::fetchToString(std::string& text, uint64_t limit) {
  fetch(kStringStep, kStringStep, limit, nullptr,
        [&text](const char* bytes, std::size_t count) { text.append(bytes, count); });
}

std::string URL::incompleteBodyText(int64_t expected) const {
  if (announced >= 0) expected = announced;
  const uint64_t whole = offset + received;
  if (expected >= 0 && whole != static_cast<uint64_t>(expected)) {
    return (whole < static_cast<uint64_t>(expected) ? "incomplete download (" : "download too long (") +
           std::to_string(whole) + " of " + std::to_string(expected) + " bytes)";
  }
  if (broken.empty()) return std::string();
  // A system's text may end in a line break; inside the brackets it would split the line.
  std::string why = broken;
  why.erase(why.find_last_not_of("\r\n") + 1);
  return "download failed after " + std::to_string(whole) + " bytes (" + why + ")";
}

void URL::fetchToFile(FILE* file, const std::function<void(const char*, std::size_t)>& onChunk) {
  fetchPieces(nullptr, [file, &onChunk](const char* bytes, std::size_t count) {
    // A short write would leave a file that looks complete by its byte
    // count but is not: stop here rather than go on.
    if (std::fwrite(bytes, 1, count, file) != count) throw IOException(std::string("fwrite: ") + std::strerror(errno));
    if (onChunk) onChunk(bytes, count);
  });
}

void URL::fetchPieces(const std::function<void(uint64_t)>& start,
                      const std::function<void(const char*, std::size_t)>& consume) {
  fetch(kFilePieceSize, kFileStep, UINT64_MAX, start, consume);
}

void URL::fetch(std::size_t pieceSize, std::size_t step, uint64_t limit, const std::function<void(uint64_t)>& start,
                const std::function<void(const char*, std::size_t)>& consume) {
  class Sink : public BodySink {
   public:
    Sink(URL& owner, std::size_t progressStep, uint64_t bound, const std::function<void(uint64_t)>& starter,
         const std::function<void(const char*, std::size_t)>& consumer)
        : url(owner), step(progressStep), limit(bound), start(starter), consume(consumer) {}

    void begin(const Answer& answer) override {
      url.offset = 0;
      url.announced = answer.length;
      if (answer.status == 416) throw RangeRefused();
      if (answer.status == 206) {
        uint64_t first = 0;
        int64_t total = -1;
        if (!parseContentRange(answer.contentRange, first, total) || first != url.rangeOffset) throw RangeRefused();
        url.offset = first;
        url.announced = total >= 0 ? total : answer.length >= 0 ? static_cast<int64_t>(first) + answer.length : -1;
      }
      url.answerValidator = answer.validator;
      // Refused before a byte of it is read.
      if (answer.length > 0 && static_cast<uint64_t>(answer.length) > limit) throw IOException(tooLargeText(limit));
      if (start) start(url.offset);
    }

    void piece(const char* bytes, std::size_t count) override {
      if (count > limit - url.received) throw IOException(tooLargeText(limit));
      // Waiting here holds back the reads, so the server's sending slows to the rate too.
      downloadRateLimit().take(count);
      consume(bytes, count);
      const uint64_t before = url.received;
      url.received += count;
      // Told at every step the body passed, as reads of one step each would tell it.
      if (url.announced > 0) {
        for (uint64_t mark = (before / step + 1) * step; mark <= url.received; mark += step) tell(mark);
      }
    }

    // The end of a body that did not end on a step.
    void finish() {
      if (url.announced > 0 && url.received % step != 0) tell(url.received);
    }

   private:
    // Only a change is worth telling: a percentage told again moves nothing.
    void tell(uint64_t mark) {
      // 64-bit arithmetic: a 32-bit product wraps for bodies above 42 MB.
      const int32_t percent = static_cast<int32_t>((url.offset + mark) * 100 / static_cast<uint64_t>(url.announced));
      if (percent == told) return;
      told = percent;
      url.progress = percent;
      url.notifyObservers();
    }

    URL& url;
    std::size_t step;
    uint64_t limit;
    const std::function<void(uint64_t)>& start;
    const std::function<void(const char*, std::size_t)>& consume;
    int32_t told = -1;
  };

  logPrintf("url = %s\n", address.c_str());
  for (;;) {
    received = 0;
    announced = -1;
    offset = 0;
    answerValidator.clear();
    broken.clear();
    failed = FetchFailure();
    Sink sink(*this, step, limit, start, consume);
    try {
      broken = transfer(pieceSize, sink);
    } catch (const RangeRefused&) {
      if (rangeOffset == 0) throw IOException("Server sent a part that was not asked for");
      rangeOffset = 0;
      rangeValidator.clear();
      continue;
    }
    sink.finish();
    break;
  }
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
