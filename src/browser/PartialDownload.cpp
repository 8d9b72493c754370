#include "browser/PartialDownload.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <random>
#include <system_error>
#include <vector>

#include "base/FileReading.h"
#include "browser/DownloadsInFlight.h"

namespace lumivant {

namespace {

constexpr size_t kFolderSuffixLength = 8;
constexpr std::string_view kSuffixAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// What the engine writes inside the folder. The engine adds a name of its own
// beside it while it writes, and renames that to this one when it is done.
constexpr const char* kWrittenName = "download";
// A folder is made under this mark and takes its real name only once it is
// locked, so that no other shell ever finds it unlocked and takes it for a
// leftover.
constexpr std::string_view kUnlockedMark = "~";
// When the umask cannot be read, new files are private rather than readable
// by others the user may not have meant to let in.
constexpr mode_t kFallbackUmask = 077;

std::string randomSuffix() {
  std::random_device entropy;
  std::uniform_int_distribution<size_t> pick(0, kSuffixAlphabet.size() - 1);
  std::string suffix;
  for (size_t i = 0; i < kFolderSuffixLength; ++i) suffix += kSuffixAlphabet[pick(entropy)];
  return suffix;
}

// The process's umask, from the kernel's status file, which reads it without
// changing it (umask(2) can only set it, for every thread at once).
mode_t currentUmask() {
  const std::optional<std::string> status = readWholeFile("/proc/self/status");
  if (!status) return kFallbackUmask;
  const size_t line = status->find("\nUmask:");
  if (line == std::string::npos) return kFallbackUmask;
  try {
    return static_cast<mode_t>(std::stoul(status->substr(line + 7, 16), nullptr, 8) & 0777);
  } catch (const std::exception&) {
    return kFallbackUmask;
  }
}

// The names in a directory, but "." and "..".
std::vector<std::string> namesIn(int directory) {
  std::vector<std::string> names;
  const int listing = ::openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing < 0) return names;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(listing), ::closedir);
  if (!dir) {
    ::close(listing);
    return names;
  }
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  return names;
}

// Empties one of the private folders of what the engine wrote and removes it.
// Only files are removed: a folder inside is not the engine's, and keeps it.
void removeFolder(int parent, const std::string& name, int folder) {
  for (const std::string& entry : namesIn(folder)) ::unlinkat(folder, entry.c_str(), 0);
  ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}

// Removes the folders that downloads into this directory left behind: the
// user's own that no running shell holds.
void removeLeftovers(int parent) {
  for (const std::string& name : namesIn(parent)) {
    if (!isPartialDownloadName(name)) continue;
    const UniqueFd folder(
        ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!folder || ::fstat(folder.get(), &info) != 0 || info.st_uid != ::geteuid()) continue;
    if (::flock(folder.get(), LOCK_EX | LOCK_NB) != 0) continue;
    removeFolder(parent, name, folder.get());
  }
}

// Makes a locked private folder in parent; gives its name, or the error.
std::variant<std::pair<std::string, UniqueFd>, int> makeLockedFolder(int parent) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string name = std::string(kPartialDownloadPrefix) + randomSuffix();
    const std::string unlocked = name + std::string(kUnlockedMark);
    if (::mkdirat(parent, unlocked.c_str(), 0700) != 0) {
      if (errno == EEXIST) continue;
      return errno;
    }
    UniqueFd folder(
        ::openat(parent, unlocked.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder || ::flock(folder.get(), LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::unlinkat(parent, unlocked.c_str(), AT_REMOVEDIR);
      return error;
    }
    int renamed = ::renameat2(parent, unlocked.c_str(), parent, name.c_str(), RENAME_NOREPLACE);
    // A file system without the flag: the random name is as good as unique.
    if (renamed != 0 && errno == EINVAL)
      renamed = ::renameat(parent, unlocked.c_str(), parent, name.c_str());
    if (renamed != 0) {
      const int error = errno;
      ::unlinkat(parent, unlocked.c_str(), AT_REMOVEDIR);
      if (error == EEXIST) continue;
      return error;
    }
    return std::pair{name, std::move(folder)};
  }
  return EEXIST;
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string incompleteText(uint64_t written, uint64_t receivedBytes) {
  return "下载的文件不完整：写入磁盘的只有 " + readableSize(written) + "，应有 " +
         readableSize(receivedBytes) + "。";
}

}  // namespace

bool isPartialDownloadName(std::string_view name) {
  if (!name.starts_with(kPartialDownloadPrefix)) return false;
  const std::string_view suffix = name.substr(kPartialDownloadPrefix.size());
  return suffix.size() == kFolderSuffixLength &&
         std::all_of(suffix.begin(), suffix.end(),
                     [](char c) { return kSuffixAlphabet.find(c) != std::string_view::npos; });
}

mode_t savedFileMode(const std::optional<ReplacedFile>& replaced, uid_t user, mode_t umask) {
  if (replaced && replaced->regularFile && replaced->owner == user) return replaced->mode & 0777;
  return 0666 & ~umask;
}

std::string savingProblem(int errnum) {
  switch (errnum) {
    case EACCES:
    case EPERM:
      return "没有权限";
    case EROFS:
      return "这个位置只能读取，不能写入";
    case ENOSPC:
    case EDQUOT:
      return "磁盘空间不足";
    case ENOENT:
    case ENOTDIR:
      return "文件夹已不存在";
    case EISDIR:
      return "那里有一个同名的文件夹";
    case ENAMETOOLONG:
      return "文件名太长";
    default:
      return std::generic_category().message(errnum);
  }
}

std::variant<PartialDownload, std::string> PartialDownload::create(const std::string& chosenPath) {
  const std::string directory = directoryOf(chosenPath);
  const auto failure = [&](int errnum) {
    return "无法在文件夹“" + directory + "”中保存文件：" + savingProblem(errnum) +
           "。请选择另一个文件夹。";
  };
  UniqueFd parent(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!parent) return failure(errno);
  removeLeftovers(parent.get());
  auto made = makeLockedFolder(parent.get());
  if (const int* error = std::get_if<int>(&made)) return failure(*error);
  auto& [name, folder] = std::get<std::pair<std::string, UniqueFd>>(made);
  return PartialDownload(chosenPath, std::move(name), std::move(parent), std::move(folder));
}

PartialDownload& PartialDownload::operator=(PartialDownload&& other) noexcept {
  if (this != &other) {
    discard();
    chosenPath_ = std::move(other.chosenPath_);
    folderName_ = std::move(other.folderName_);
    parent_ = std::move(other.parent_);
    folder_ = std::move(other.folder_);
  }
  return *this;
}

std::string PartialDownload::writtenPath() const {
  return directoryOf(chosenPath_) + "/" + folderName_ + "/" + kWrittenName;
}

std::optional<std::string> PartialDownload::complete(uint64_t receivedBytes) {
  if (!folder_) return incompleteText(0, receivedBytes);
  const std::string chosenName = chosenPath_.substr(chosenPath_.find_last_of('/') + 1);
  const UniqueFd file(
      ::openat(folder_.get(), kWrittenName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat written {};
  if (!file || ::fstat(file.get(), &written) != 0 || !S_ISREG(written.st_mode))
    return incompleteText(0, receivedBytes);
  if (static_cast<uint64_t>(written.st_size) != receivedBytes)
    return incompleteText(static_cast<uint64_t>(written.st_size), receivedBytes);

  std::optional<ReplacedFile> replaced;
  struct stat standing {};
  if (::fstatat(parent_.get(), chosenName.c_str(), &standing, AT_SYMLINK_NOFOLLOW) == 0)
    replaced = ReplacedFile{S_ISREG(standing.st_mode), standing.st_uid, standing.st_mode};
  const auto failure = [&](int errnum) {
    return "无法存为“" + chosenPath_ + "”：" + savingProblem(errnum) + "。" +
           (replaced ? "原来的文件没有改动。" : "");
  };
  if (::fchmod(file.get(), savedFileMode(replaced, ::geteuid(), currentUmask())) != 0 ||
      ::fsync(file.get()) != 0 ||
      ::renameat(folder_.get(), kWrittenName, parent_.get(), chosenName.c_str()) != 0)
    return failure(errno);
  // Makes the rename itself durable; the file is whole whether or not this works.
  ::fsync(parent_.get());
  discard();
  return std::nullopt;
}

void PartialDownload::discard() {
  if (!folder_) return;
  removeFolder(parent_.get(), folderName_, folder_.get());
  folder_.reset();
  parent_.reset();
}

}  // namespace lumivant
