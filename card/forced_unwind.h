// A thread that ends inside the card library (its pthread_exit, or the host's pthread_cancel
// at a cancellation point there) unwinds with the C++ runtime's own exception. It must go on
// through every catch-all on the way out, or the runtime aborts the process; the thread then
// ends as its owner asked. On Windows no such exception comes.
#pragma once

#include <cxxabi.h>

namespace qv {

// body(); any exception but a forced unwind gives on_exception() instead. The forced unwind's
// catch binds a null reference (it carries no C++ object), which the runtime intends and the
// sanitizer would report.
template <typename Body, typename OnException>
__attribute__((no_sanitize("null"))) auto CatchAllButThreadEnd(Body body,
                                                               OnException on_exception) {
  try {
    return body();
  } catch (const abi::__forced_unwind&) {
    throw;
  } catch (...) {
    return on_exception();
  }
}

}  // namespace qv
