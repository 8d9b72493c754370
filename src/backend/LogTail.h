#pragma once

#include <cstddef>
#include <string>

namespace lumivant {

inline constexpr size_t kLogTailLines = 25;
// The most the tail ever reads of a log, however long its lines are.
inline constexpr size_t kLogTailByteLimit = size_t{16} * 1024 * 1024;

// The last lines of a log file: split at line feeds, blank lines dropped, the
// last maxLines kept in their order and joined by single line feeds, with none
// at the end.
//
// Only the end of the file is read, backwards in blocks, as far back as the
// last maxLines non-empty lines reach, so a log that has grown for months costs
// no more than a fresh one. Line feeds never occur inside a UTF-8 sequence, so
// the part read starts on a character boundary. In that part every ill-formed
// UTF-8 sequence and every NUL becomes U+FFFD: the tail is wanted most when a
// backend has gone wrong, which is when its output is least likely to be
// clean. A file that cannot be read gives the empty text.
//
// Should the last lines be longer than byteLimit together, only the final
// byteLimit bytes count, and the oldest line kept is cut at the first
// character boundary within them.
std::string tailOfLogFile(const std::string& path, size_t maxLines = kLogTailLines,
                          size_t byteLimit = kLogTailByteLimit);

}  // namespace lumivant
