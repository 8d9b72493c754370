#include "backend/LogTail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "base/UniqueFd.h"

namespace lumivant {

namespace {

constexpr size_t kBlockSize = size_t{64} * 1024;

// The text with every ill-formed UTF-8 sequence and every NUL replaced by
// U+FFFD, so that one bad byte costs one character and not the whole tail.
std::string withReplacementCharacters(const std::string& text) {
  icu::UnicodeString decoded = icu::UnicodeString::fromUTF8(text);
  decoded.findAndReplace(icu::UnicodeString(char16_t{0}), icu::UnicodeString(char16_t{0xFFFD}));
  std::string encoded;
  decoded.toUTF8String(encoded);
  return encoded;
}

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Reads exactly size bytes at offset, or fails.
bool readAt(int fd, char* into, size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t got = ::pread(fd, into, size, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    into += got;
    size -= static_cast<size_t>(got);
    offset += got;
  }
  return true;
}

std::string joinNonEmptyLines(const std::string& text) {
  std::string joined;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) {
      if (!joined.empty()) joined += '\n';
      joined.append(text, start, end - start);
    }
    start = end + 1;
  }
  return joined;
}

}  // namespace

std::string tailOfLogFile(const std::string& path, size_t maxLines, size_t byteLimit) {
  if (maxLines == 0) return {};
  // Non-blocking so that a FIFO in the log's place cannot hold the caller.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  struct stat status {};
  if (!fd || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) return {};

  // The size as it is now: a child still writing adds after this point, and
  // what it adds is left for the next call.
  const auto end = static_cast<size_t>(status.st_size);
  const size_t floor = end > byteLimit ? end - byteLimit : 0;

  // Blocks read so far, the newest first, and the offset of the oldest.
  std::vector<std::string> blocks;
  size_t offset = end;
  // Scanning backwards: the non-empty lines known to be whole, and the bytes
  // seen so far of the line being scanned.
  size_t wholeLines = 0;
  size_t currentLineBytes = 0;
  std::optional<size_t> start;  // the file offset the tail starts at, once known

  while (!start && offset > floor) {
    const size_t size = std::min(kBlockSize, offset - floor);
    offset -= size;
    std::string block(size, '\0');
    if (!readAt(fd.get(), block.data(), size, static_cast<off_t>(offset))) return {};
    for (size_t i = size; i-- > 0;) {
      if (block[i] != '\n') {
        ++currentLineBytes;
        continue;
      }
      if (currentLineBytes > 0 && ++wholeLines == maxLines) {
        start = offset + i + 1;
        break;
      }
      currentLineBytes = 0;
    }
    blocks.push_back(std::move(block));
  }
  // Without a line boundary found, the tail reaches back to the start of the
  // file, or to the byte limit, where it may begin inside a line.
  const bool cutByLimit = !start && offset > 0;
  if (!start) start = offset;

  std::string text;
  text.reserve(end - *start);
  for (auto block = blocks.rbegin(); block != blocks.rend(); ++block) text += *block;
  text.erase(0, *start - offset);
  if (cutByLimit) {
    // Perhaps inside a character as well: begin at the next one.
    const auto boundary =
        std::find_if_not(text.begin(), text.end(), isContinuationByte) - text.begin();
    text.erase(0, static_cast<size_t>(boundary));
  }
  return joinNonEmptyLines(withReplacementCharacters(text));
}

}  // namespace lumivant
