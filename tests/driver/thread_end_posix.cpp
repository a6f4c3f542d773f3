// A host thread that ends inside the card library (the library's pthread_exit, or the host's
// pthread_cancel at a cancellation point there) ends through the driver's exports as its
// owner asked: the process lives, and another thread can still finish the instance.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>

#include "driver_support.h"

namespace qvtest {
namespace {

uint32_t OX952_CALL EndThreadCounting(uint32_t*) {
  pthread_exit(nullptr);
}
uint32_t OX952_CALL EndThreadReading(uint32_t, uint32_t) {
  pthread_exit(nullptr);
}

// Runs body on a thread of its own; true when body came back instead of ending the thread.
bool CameBack(const std::function<void()>& body) {
  struct Run {
    const std::function<void()>* body;
    bool came_back = false;
  } run{&body};
  pthread_t thread;
  const auto start = [](void* arg) -> void* {
    auto* r = static_cast<Run*>(arg);
    (*r->body)();
    r->came_back = true;
    return nullptr;
  };
  EXPECT_EQ(pthread_create(&thread, nullptr, start, &run), 0);
  pthread_join(thread, nullptr);
  return run.came_back;
}

TEST(ThreadEnd, GoesOnThroughInitAndTheExchange) {
  TempDir dir;
  const std::string path = dir.File("p.ini");
  WriteBytes(path, Ini{}.Bytes());
  for (const bool in_init : {true, false}) {
    SCOPED_TRACE(in_init ? "the count call, in Init" : "a register read, in the exchange");
    OX952Sim_Reset();
    PData p = MakeDriver();
    qv::CardLibrary ending = qv::ImportedCardLibrary();
    if (in_init) {
      ending.CardsInSystem = EndThreadCounting;
      Instance(p).Library = &ending;
      EXPECT_FALSE(CameBack([&] { CallInit(p, path); }));
    } else {
      ASSERT_TRUE(CallInit(p, path).ok);
      ending.MemRead = EndThreadReading;
      Instance(p).Library = &ending;
      EXPECT_FALSE(CameBack([&] { InputRequestCompleted(p); }));
    }
    Instance(p).Library = &qv::ImportedCardLibrary();
    Done(p);
    DisposeDriver(p);
    EXPECT_EQ(OX952Sim_OpenCardCount(), 0u);
  }
}

}  // namespace
}  // namespace qvtest
