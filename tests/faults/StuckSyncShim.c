/* Preloaded into the batch command by a test: the Nth call of fsync (N from
   PT_STUCK_SYNC) never returns, as a sync on a hung network file system
   would not; it first creates the file PT_STUCK_SYNC_MARK, so the test knows
   the run is stuck. Every other call goes to the C library. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdatomic.h>
#include <stdlib.h>
#include <unistd.h>

static atomic_int calls;

int fsync(int fd) {
  const char *stuck = getenv("PT_STUCK_SYNC");
  if (stuck && atomic_fetch_add(&calls, 1) + 1 == atoi(stuck)) {
    const char *mark = getenv("PT_STUCK_SYNC_MARK");
    if (mark)
      close(open(mark, O_WRONLY | O_CREAT, 0644));
    for (;;)
      pause();
  }
  int (*next)(int);
  *(void **)&next = dlsym(RTLD_NEXT, "fsync"); /* POSIX's way to take a function from dlsym */
  return next(fd);
}
