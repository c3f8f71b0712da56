// Named mutexes between processes, as the program uses them: only to learn whether another
// process already holds the same name. A name is a lock file in the user's runtime folder
// ($XDG_RUNTIME_DIR, else /tmp) held with flock, so the kernel lets go of it when the holding
// process ends in any way and a crashed run never leaves a stale lock behind.
#pragma once

#include <string>

#include "platform/cstring.h"

class NamedMutex {
 public:
  NamedMutex() = default;
  ~NamedMutex() { Close(); }
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  enum Result { kTaken, kHeldElsewhere, kFailed };
  // Takes the name. kHeldElsewhere when another holder has it; kFailed when the lock file
  // cannot be made (nothing is known then). Unless kTaken the object holds nothing.
  Result Create(const CString& name);
  bool Held() const { return fd_ >= 0; }
  void Close();

 private:
  int fd_ = -1;
};

// The lock file behind a name: characters other than letters, digits, '-', '_' and '.' become
// '_' so no name can leave the folder.
std::string NamedMutexPath(const CString& name);
