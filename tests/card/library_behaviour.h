// What a card library may do inside a call, really done: faults, exceptions of other
// runtimes, and exceptions it raises and handles itself.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qvtest {

enum class LibraryThread {
  kCaller,      // runs on the caller's thread
  kSmallStack,  // overflows its stack: run on a thread whose stack is small
  kEnds,        // ends its thread: run on a thread of its own
};

struct LibraryBehaviour {
  const char* name;
  void (*act)();
  bool escapes;  // something leaves the library: the guarded call must report "raised"
  bool floating_point_trap = false;
  int unwinds = 0;  // frames of its own that the guard must unwind: each counts in g_unwound
  LibraryThread thread = LibraryThread::kCaller;
};

// The common behaviours, then the platform's own.
std::vector<LibraryBehaviour> LibraryBehaviours();
std::vector<LibraryBehaviour> PlatformBehaviours();

// What the guard must leave as it found it, per thread (the handler chain, the signal mask,
// the alternate signal stack, exceptions in flight) and per process (signal handlers), as
// text to compare.
std::string GuardState();

// Why this platform cannot run b, or nullptr. Unmasked floating-point exceptions raise no
// trap in 32-bit code under qemu's user-mode emulation, which gives infinity instead.
const char* WhyNotHere(const LibraryBehaviour& b);

// Runs body on a thread with a small stack and waits for it. On POSIX it runs there twice:
// without an alternate signal stack, and with one that disarms itself while a handler runs
// on it (SS_AUTODISARM).
void OnSmallStack(const std::function<void()>& body);
// Runs body on a thread of its own and waits for the thread to end, which body may do.
void OnThreadOfItsOwn(const std::function<void()>& body);

}  // namespace qvtest
