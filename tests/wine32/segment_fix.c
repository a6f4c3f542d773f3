/* Preloaded into 32-bit Wine processes that run under qemu-i386 user-mode emulation.
 *
 * qemu keeps one GDT for the whole emulated process, while a real kernel switches the
 * three TLS entries with each thread. So every set_thread_area() of a new thread
 * overwrites the entry for all threads, and the next time another thread reloads a
 * segment register from it (qemu does at every return from a signal handler, Wine when
 * it restores a full context) that thread gets the newest thread's base. Wine points %fs
 * at each thread's TEB that way, glibc %gs at its thread block: a fault on the main thread
 * then reached the exception dispatcher with another thread's TEB, its handler chain,
 * stack limits and TLS, and went unhandled, or Wine's own code ran on another thread's
 * glibc state.
 *
 * The mend keeps both registers out of the GDT. Each thread gets LDT entries of its own,
 * which no other thread writes:
 * - %fs: Wine's one probe for a GDT entry (set_thread_area with entry -1, made through
 *   syscall()) is refused, so Wine takes its other path: an LDT entry per TEB.
 * - %gs: before any Wine code runs on a thread (at load for the first thread, at the start
 *   routine of pthread_create for the others) its glibc thread block moves to an LDT entry
 *   of its own, from 16 up; Wine then keeps its LDT entries from 512 up. glibc gives a new
 *   thread the entry of its creator's %gs, so pthread_create runs on the GDT entry again,
 *   one creation at a time, holding the creator's own base.
 *
 * Built freestanding, like the emulation's own shim:
 *   gcc -m32 -O2 -fPIC -shared -nostdlib -ffreestanding -fno-stack-protector \
 *       -fno-asynchronous-unwind-tables -o libqvsegfix.so segment_fix.c
 * A 64-bit process gets an empty library of the same name (LD_PRELOAD names it via $LIB).
 */
#ifdef __i386__
#define RTLD_NEXT ((void*)-1)
#define NR_modify_ldt 123
#define NR_set_thread_area 243
#define ENOSYS 38
#define FIRST_GS_ENTRY 16
#define LAST_GS_ENTRY 511

struct user_desc {
  unsigned int entry_number;
  unsigned int base_addr;
  unsigned int limit;
  unsigned int flags; /* seg_32bit:1 contents:2 read_exec_only:1 limit_in_pages:1 ... */
};
typedef long (*syscall_fn)(long, long, long, long, long, long, long);
typedef int (*pthread_create_fn)(void*, const void*, void* (*)(void*), void*);
struct start {
  void* (*routine)(void*);
  void* arg;
};

extern void* dlsym(void*, const char*);
extern int* __errno_location(void);
extern void* malloc(unsigned int);
extern void free(void*);

static syscall_fn real_syscall;
static pthread_create_fn real_pthread_create;
static volatile int next_gs_entry = FIRST_GS_ENTRY;
static unsigned short gdt_gs; /* glibc's own selector, kept for thread creation */
static volatile int creating; /* one thread creation at a time */

static int set_gdt_entry(unsigned short selector, unsigned int base) {
  struct user_desc desc;
  int ret;
  desc.entry_number = selector >> 3;
  desc.base_addr = base;
  desc.limit = 0xfffff;
  desc.flags = 0x1 | 0x10 | 0x40; /* 32-bit, limit in pages, usable: as glibc sets it */
  __asm__ volatile("int $0x80" : "=a"(ret) : "0"(NR_set_thread_area), "b"(&desc) : "memory");
  return ret;
}

/* Moves this thread's %gs from the shared GDT entry to an LDT entry of its own. */
static void own_gs(void) {
  unsigned short gs;
  unsigned int tcb;
  int entry, ret;
  struct user_desc desc;
  __asm__ volatile("movw %%gs,%0" : "=r"(gs));
  if (gs == 0 || (gs & 4) != 0) return; /* none, or already in the LDT */
  gdt_gs = gs;
  __asm__ volatile("movl %%gs:0,%0" : "=r"(tcb)); /* glibc's tcbhead_t points to itself */
  entry = __sync_fetch_and_add(&next_gs_entry, 1);
  if (entry > LAST_GS_ENTRY) return;
  desc.entry_number = entry;
  desc.base_addr = tcb;
  desc.limit = 0xfffff;
  desc.flags = 0x1 | 0x10 | 0x40; /* 32-bit, limit in pages, usable: as glibc sets it */
  __asm__ volatile("int $0x80"
                   : "=a"(ret)
                   : "0"(NR_modify_ldt), "b"(0x11), "c"(&desc), "d"(sizeof desc)
                   : "memory");
  if (ret != 0) return;
  gs = (unsigned short)((entry << 3) | 7);
  __asm__ volatile("movw %0,%%gs" : : "r"(gs));
}

__attribute__((constructor)) static void own_first_thread(void) {
  own_gs();
}

static void* start_thread(void* arg) {
  struct start start = *(struct start*)arg;
  free(arg);
  own_gs();
  return start.routine(start.arg);
}

int pthread_create(void* thread, const void* attr, void* (*routine)(void*), void* arg) {
  struct start* start;
  unsigned short gs;
  unsigned int tcb;
  int ret;
  if (!real_pthread_create)
    real_pthread_create = (pthread_create_fn)dlsym(RTLD_NEXT, "pthread_create");
  start = (struct start*)malloc(sizeof *start);
  if (!start) return real_pthread_create(thread, attr, routine, arg);
  start->routine = routine;
  start->arg = arg;
  __asm__ volatile("movw %%gs,%0" : "=r"(gs));
  if ((gs & 4) == 0 || gdt_gs == 0) {
    ret = real_pthread_create(thread, attr, start_thread, start);
  } else {
    __asm__ volatile("movl %%gs:0,%0" : "=r"(tcb));
    while (__sync_lock_test_and_set(&creating, 1)) {
    }
    set_gdt_entry(gdt_gs, tcb);
    __asm__ volatile("movw %0,%%gs" : : "r"(gdt_gs));
    ret = real_pthread_create(thread, attr, start_thread, start);
    __asm__ volatile("movw %0,%%gs" : : "r"(gs));
    __sync_lock_release(&creating);
  }
  if (ret != 0) free(start);
  return ret;
}

long syscall(long number, long a1, long a2, long a3, long a4, long a5, long a6) {
  if (number == NR_set_thread_area && a1 != 0 &&
      ((struct user_desc*)a1)->entry_number == 0xffffffffu) {
    *__errno_location() = ENOSYS; /* no GDT entry to share: Wine uses the LDT */
    return -1;
  }
  if (!real_syscall) real_syscall = (syscall_fn)dlsym(RTLD_NEXT, "syscall");
  return real_syscall(number, a1, a2, a3, a4, a5, a6);
}
#else
int qv_segment_fix_stub;
#endif
