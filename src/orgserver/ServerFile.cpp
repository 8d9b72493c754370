#include "orgserver/ServerFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>
#include <unistd.h>

#include <cerrno>
#include <nlohmann/json.hpp>

#include "app/DataRoot.h"

namespace lumivant {

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// The whole of a regular file, or nothing when it cannot be read. Anything but
// a regular file is refused before reading: a directory has no contents, and a
// named pipe or a device could block the launch for ever.
std::optional<std::string> readRegularFile(const std::string& path) {
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (file.get() < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  std::string contents;
  char buffer[16 * 1024];
  for (;;) {
    const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return std::nullopt;
    if (count == 0) return contents;
    contents.append(buffer, static_cast<size_t>(count));
  }
}

bool isWhiteSpaceOrLineBreak(UChar32 c) { return u_isUWhiteSpace(c); }

// Removes Unicode white space and line breaks from both ends. The text is the
// UTF-8 of a JSON string, so it is well formed.
std::string trimmed(const std::string& text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t begin = 0;
  while (begin < length) {
    int32_t next = begin;
    UChar32 c;
    U8_NEXT(bytes, next, length, c);
    if (c < 0 || !isWhiteSpaceOrLineBreak(c)) break;
    begin = next;
  }
  int32_t end = length;
  while (end > begin) {
    int32_t previous = end;
    UChar32 c;
    U8_PREV(bytes, begin, previous, c);
    if (c < 0 || !isWhiteSpaceOrLineBreak(c)) break;
    end = previous;
  }
  return text.substr(static_cast<size_t>(begin), static_cast<size_t>(end - begin));
}

}  // namespace

std::optional<Url> parseServerFile(const std::string& contents) {
  const nlohmann::json document =
      nlohmann::json::parse(contents, nullptr, /*allow_exceptions=*/false);
  if (!document.is_object()) return std::nullopt;  // also what a parse error gives
  const auto entry = document.find("url");
  if (entry == document.end() || !entry->is_string()) return std::nullopt;
  auto url = Url::parse(trimmed(entry->get<std::string>()));
  if (!url || !url->scheme()) return std::nullopt;
  // Compared as written: "HTTP" is not accepted.
  if (*url->scheme() == "http" || *url->scheme() == "https") return url;
  return std::nullopt;
}

std::optional<Url> organisationServer(const std::string& dataRoot) {
  const auto contents = readRegularFile(joinPath(dataRoot, "server.json"));
  if (!contents) return std::nullopt;
  return parseServerFile(*contents);
}

}  // namespace lumivant
