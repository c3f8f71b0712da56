#include "platform/namedmutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

std::string NamedMutexPath(const CString& name) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string dir = runtime && *runtime ? runtime : "/tmp";
  std::string file;
  for (char c : name.ToUtf8()) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '_' || c == '.';
    file += plain ? c : '_';
  }
  return dir + "/" + file + ".lock";
}

NamedMutex::Result NamedMutex::Create(const CString& name) {
  Close();
  const std::string path = NamedMutexPath(name);
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return kFailed;
  int r;
  do {
    r = flock(fd, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    const int err = errno;
    close(fd);
    return err == EWOULDBLOCK ? kHeldElsewhere : kFailed;
  }
  fd_ = fd;
  return kTaken;
}

void NamedMutex::Close() {
  if (fd_ < 0) return;
  // The file stays: removing it could let a third process lock a new file of the same name
  // while a second one still holds the old, unlinked one.
  close(fd_);
  fd_ = -1;
}
