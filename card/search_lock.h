// One card search at a time on the machine. A search opens every family card on its way to
// the chosen one and closes it again, so a second search (another instance, another host,
// qvhost --list-cards) that meets such a card would take it for one in use. The lock holds
// across threads and processes: a named mutex on Windows, flock on a lock file on Linux.
#pragma once

namespace qv {

// How long a search waits for another to end; a card library that hangs in a search must not
// hang every later Init with it.
inline constexpr unsigned kCardSearchWaitMs = 5000;

// The lock's backend. Acquire waits up to `wait_ms` and returns a handle to pass to Release;
// nullptr when the lock could not be had (the wait ran out, or the system refused): the caller
// searches anyway, and Acquire has said so on stderr and in the debugger output.
void* AcquireCardSearchLock(unsigned wait_ms);
void ReleaseCardSearchLock(void* handle);  // nullptr does nothing

class TCardSearchLock {
 public:
  explicit TCardSearchLock(unsigned wait_ms = kCardSearchWaitMs)
      : handle_(AcquireCardSearchLock(wait_ms)) {}
  ~TCardSearchLock() { ReleaseCardSearchLock(handle_); }
  TCardSearchLock(const TCardSearchLock&) = delete;
  TCardSearchLock& operator=(const TCardSearchLock&) = delete;
  bool Held() const { return handle_ != nullptr; }

 private:
  void* handle_;
};

}  // namespace qv
