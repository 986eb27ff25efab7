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

 private:
  uint64_t received;
  int64_t announced;
};
