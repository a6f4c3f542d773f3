// The exports as a host built by another compiler calls them: through pointers of the host's
// own types, reading a boolean from the low byte of the result, an 8-byte value record on
// the 32-bit platform, and on i686 a stack aligned to 4 bytes only.
#include <gtest/gtest.h>

#include <cstring>

#include "driver_support.h"

namespace qvtest {
namespace {

#if defined(__i386__)
// Calls the cdecl function `fn` with `n` 32-bit arguments and the stack pointer 4 bytes
// past a 16-byte boundary at the call (GCC would keep it on the boundary). Returns eax.
__attribute__((noinline)) uint32_t CallMisaligned(const void* fn, const uint32_t* args,
                                                  uint32_t n) {
  uint32_t result;
  asm volatile(
      "movl %%esp, %%edi\n\t"
      "leal 16(,%%ecx,4), %%eax\n\t"
      "subl %%eax, %%esp\n\t"
      "andl $-16, %%esp\n\t"
      "addl $4, %%esp\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "decl %%ecx\n\t"
      "movl (%%esi,%%ecx,4), %%eax\n\t"
      "movl %%eax, (%%esp,%%ecx,4)\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "call *%%edx\n\t"
      "movl %%edi, %%esp\n\t"
      : "=a"(result), "+c"(n), "+S"(args), "+d"(fn)
      :
      : "edi", "memory", "cc");
  return result;
}

extern "C" uint32_t QvTestStackAtEntry();
asm(".text\n_QvTestStackAtEntry:\n\tmovl %esp, %eax\n\tret\n");

template <typename... A>
uint32_t Misaligned(const void* fn, A... a) {
  const uint32_t args[] = {0, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(a))...};
  return CallMisaligned(fn, args + 1, sizeof...(A));
}
template <typename T>
uintptr_t Arg(T value) {
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<uintptr_t>(value);
  } else {
    return static_cast<uintptr_t>(value);
  }
}
#endif

TEST(HostConventions, ValueRecordAndBooleansAsTheHostReadsThem) {
  // Kind at offset 0, then the value: 8 bytes on the host's 32-bit platform.
  static_assert(offsetof(THostValue, Kind) == 0);
  static_assert(offsetof(THostValue, Value) == sizeof(void*));
  static_assert(sizeof(void*) != 4 || sizeof(THostValue) == 8);

  OX952Sim_Reset();
  TempDir dir;
  const std::string path = dir.File("p.ini");
  WriteBytes(path, Ini{}.Bytes());
  // The host's own pointer types; a boolean is the low byte of the result, 1 or 0.
  using CheckFn = HostBool(QV_CALL*)();
  using InitFn = HostBool(QV_CALL*)(PData, uint32_t, const char*, uint32_t, char*, int32_t,
                                    uint32_t, int32_t, int32_t);
  using GetInputFn = void(QV_CALL*)(PData, uint32_t, THostValue*);
  const CheckFn check = &Check;
  const InitFn init = &Init;
  const GetInputFn get_input = &GetInput;
  EXPECT_EQ(check(), 1);
  PData p = MakeDriver();
  char error[64];
  EXPECT_EQ(init(p, 0, path.c_str(), sizeof error - 1, error, 0, 0, 0, 0), 1);
  InputRequestCompleted(p);
  // A record among its neighbours: GetInput writes exactly the one it is given.
  unsigned char records[3 * sizeof(THostValue)];
  std::memset(records, 0xA5, sizeof records);
  THostValue* middle = reinterpret_cast<THostValue*>(records + sizeof(THostValue));
  middle->Kind = kKindInteger;
  get_input(p, 60, middle);  // the digital input byte
  for (size_t i = 0; i < sizeof(THostValue); ++i) {
    EXPECT_EQ(records[i], 0xA5) << "before, byte " << i;
    EXPECT_EQ(records[2 * sizeof(THostValue) + i], 0xA5) << "after, byte " << i;
  }
  EXPECT_EQ(middle->Kind, kKindInteger);
  Done(p);
  DisposeDriver(p);
  EXPECT_EQ(init(p = MakeDriver(), 0, "", sizeof error - 1, error, 0, 0, 0, 0), 0);
  DisposeDriver(p);
}

TEST(HostConventions, FourByteAlignedStackThroughAWholeCycle) {
#if defined(__i386__)
  ASSERT_EQ(CallMisaligned(reinterpret_cast<const void*>(&QvTestStackAtEntry), nullptr, 0) % 16, 0u)
      << "the call is not misaligned";
  OX952Sim_Reset();
  TempDir dir;
  const std::string path = dir.File("p.ini");
  WriteBytes(path, Ini{}.Bytes());
  auto fn = [](auto f) { return reinterpret_cast<const void*>(f); };
  char error[64] = "";
  EXPECT_EQ(Misaligned(fn(&Check)) & 0xFF, 1u);
  PData p = reinterpret_cast<PData>(Misaligned(fn(&MakeDriver)));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(Misaligned(fn(&Init), p, Arg(0), path.c_str(), Arg(sizeof error - 1), error, Arg(0),
                       Arg(0), Arg(0), Arg(0)) &
                0xFF,
            1u)
      << error;
  Misaligned(fn(&DriverProc), p, Arg(1), Arg(0), Arg(0), Arg(0), Arg(0));  // show
  THostValue v{kKindInteger, 0xFFFFFFFF};
  for (int cycle = 0; cycle < 3; ++cycle) {
    Misaligned(fn(&InputRequestCompleted), p);
    Misaligned(fn(&GetInput), p, Arg(0), &v);
    Misaligned(fn(&OutputRequest), p, Arg(6), Arg(kKindInteger), Arg(1000 + cycle));
    Misaligned(fn(&OutputRequestCompleted), p);
    int32_t status = 0;
    EXPECT_EQ(Misaligned(fn(&OutputFinalized), Arg(0), Arg(0), &status) & 0xFF, 1u);
  }
  EXPECT_EQ(v.Kind, kKindInteger);
  EXPECT_LE(v.Value, 0xFFFFFFu) << "a 24-bit counter value";
  Misaligned(fn(&Done), p);
  Misaligned(fn(&DisposeDriver), p);
  EXPECT_EQ(OX952Sim_OpenCardCount(), 0u);
#else
  GTEST_SKIP() << "only the 32-bit x86 conventions allow a stack aligned to 4 bytes";
#endif
}

}  // namespace
}  // namespace qvtest
