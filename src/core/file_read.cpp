#include "core/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>

namespace skyh {
namespace {

template <typename Buffer>
FileReadStatus ReadInto(const std::string& path, Buffer& content, std::string* reason) {
  content.clear();
  auto fail = [&](FileReadStatus status, const std::string& why) {
    if (reason) *reason = why;
    content.clear();
    return status;
  };
  // Non-blocking, so that opening a named pipe never waits for a writer.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    const int e = errno;
    return fail(e == ENOENT || e == ENOTDIR ? FileReadStatus::kMissing : FileReadStatus::kFailed, std::strerror(e));
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const int e = errno;
    ::close(fd);
    return fail(FileReadStatus::kFailed, std::strerror(e));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return fail(FileReadStatus::kNotAFile, S_ISDIR(st.st_mode) ? "is a folder" : "is not a regular file");
  }
  try {
    content.reserve(static_cast<size_t>(st.st_size));
    char chunk[65536];
    while (true) {
      ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        const int e = errno;
        ::close(fd);
        return fail(FileReadStatus::kFailed, std::strerror(e));
      }
      if (n == 0) break;
      content.insert(content.end(), chunk, chunk + n);
    }
  } catch (const std::bad_alloc&) {
    ::close(fd);
    return fail(FileReadStatus::kFailed, "too large to read");
  } catch (const std::length_error&) {
    ::close(fd);
    return fail(FileReadStatus::kFailed, "too large to read");
  }
  ::close(fd);
  if (reason) reason->clear();
  return FileReadStatus::kRead;
}

}  // namespace

FileReadStatus ReadWholeFile(const std::string& path, std::string& content, std::string* reason) {
  return ReadInto(path, content, reason);
}

FileReadStatus ReadWholeFile(const std::string& path, std::vector<uint8_t>& content, std::string* reason) {
  return ReadInto(path, content, reason);
}

std::string FileReadErrorText(const std::string& path, const std::string& reason) {
  return "Can't read \"" + path + "\": " + reason;
}

}  // namespace skyh
