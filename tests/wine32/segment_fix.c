/* Preloaded into 32-bit Wine processes that run under qemu-i386 user-mode emulation.
 *
 * qemu keeps one GDT for the whole emulated process, while a real kernel switches the
 * three TLS entries with each thread. So every set_thread_area() of a new thread (Wine
 * points %fs at each thread's TEB, glibc points %gs at its thread block that way)
 * overwrites the entry for all threads, and the next time a thread reloads %fs or %gs,
 * which qemu does at every return from a signal handler, it gets the newest thread's
 * base. A fault on the main thread then reaches the exception dispatcher with another
 * thread's TEB: its vectored handlers see that thread's TLS, its frame chain and its
 * stack limits, and the exception goes unhandled.
 *
 * The fix: every signal handler that the process installs is wrapped so that, on entry
 * and again before it returns, the entries behind %fs and %gs hold this thread's own
 * bases (qemu still has them cached in the thread's segment registers at that point).
 *
 * Built freestanding, like the emulation's own shim:
 *   gcc -m32 -O2 -fPIC -shared -nostdlib -ffreestanding -fno-stack-protector \
 *       -fno-asynchronous-unwind-tables -o libqvsegfix.so segment_fix.c
 * A 64-bit process gets an empty library of the same name (LD_PRELOAD names it via $LIB).
 *
 * What it cannot mend: signals on two threads at the same moment. The table is still one,
 * so between one thread's repair and its return another thread's repair can win.
 */
#ifdef __i386__
#define SA_SIGINFO 4
#define RTLD_NEXT ((void *)-1)
#define NR_set_thread_area 243
#define NR_get_thread_area 244

struct k_sigaction { /* glibc's i386 struct sigaction */
  void *handler;
  unsigned long mask[32];
  int flags;
  void (*restorer)(void);
};
struct user_desc {
  unsigned int entry_number;
  unsigned int base_addr;
  unsigned int limit;
  unsigned int flags;
};
typedef int (*sigaction_fn)(int, const struct k_sigaction *, struct k_sigaction *);
typedef void (*handler3)(int, void *, void *);

extern void *dlsym(void *, const char *);

static sigaction_fn real_sigaction;
static volatile handler3 wrapped[65];

static int thread_area(int nr, struct user_desc *desc) {
  int ret;
  __asm__ volatile("int $0x80" : "=a"(ret) : "0"(nr), "b"(desc) : "memory");
  return ret;
}

/* Point the GDT entry behind `selector` at `base` again, if it is a TLS entry (6..8). */
static void own_entry(unsigned short selector, unsigned int base) {
  struct user_desc desc;
  unsigned int entry = selector >> 3;
  if ((selector & 4) != 0 || entry < 6 || entry > 8 || base == 0) return;
  desc.entry_number = entry;
  if (thread_area(NR_get_thread_area, &desc) != 0 || desc.base_addr == base) return;
  desc.base_addr = base;
  thread_area(NR_set_thread_area, &desc);
}

static void own_segments(void) {
  unsigned short fs, gs;
  unsigned int teb = 0, tcb = 0;
  __asm__ volatile("movw %%fs,%0" : "=r"(fs));
  __asm__ volatile("movw %%gs,%0" : "=r"(gs));
  /* The TEB's NT_TIB.Self (offset 0x18) and glibc's tcbhead_t.tcb (offset 0) point to
     themselves: read through the cached segment, they give this thread's bases. */
  if (fs != 0) __asm__ volatile("movl %%fs:0x18,%0" : "=r"(teb));
  if (gs != 0) __asm__ volatile("movl %%gs:0,%0" : "=r"(tcb));
  own_entry(fs, teb);
  own_entry(gs, tcb);
}

static void trampoline(int sig, void *info, void *context) {
  handler3 handler = wrapped[sig];
  own_segments();
  if (handler) handler(sig, info, context);
  own_segments(); /* the return from the handler reloads %fs and %gs from the GDT */
}

int sigaction(int sig, const struct k_sigaction *act, struct k_sigaction *old) {
  struct k_sigaction copy;
  handler3 previous;
  int ret;
  if (!real_sigaction) real_sigaction = (sigaction_fn)dlsym(RTLD_NEXT, "sigaction");
  if (sig <= 0 || sig > 64) return real_sigaction(sig, act, old);
  previous = wrapped[sig];
  if (act && (act->flags & SA_SIGINFO) && (unsigned long)act->handler > 1 &&
      act->handler != (void *)-1) {
    copy = *act;
    wrapped[sig] = (handler3)act->handler;
    copy.handler = (void *)trampoline;
    ret = real_sigaction(sig, &copy, old);
    if (ret) wrapped[sig] = previous;
  } else {
    ret = real_sigaction(sig, act, old);
    if (!ret && act) wrapped[sig] = 0;
  }
  if (!ret && old && old->handler == (void *)trampoline) old->handler = (void *)previous;
  return ret;
}
#else
int qv_segment_fix_stub;
#endif
