// A stand-in for a file on a hung disk, loaded into a program under test with
// LD_PRELOAD: every open of a path that contains QUAVER_STALL_NAME blocks for
// ever, on whichever thread asked. Other opens go to the C library unchanged.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void stallIfNamed(const char *path)
{
    const char *name = getenv("QUAVER_STALL_NAME");
    if (name && *name && path && strstr(path, name))
        for (;;)
            pause();
}

#define FORWARD_OPEN(symbol, ...)                                                                  \
    {                                                                                              \
        stallIfNamed(path);                                                                        \
        mode_t mode = 0;                                                                           \
        if (flags & (O_CREAT | O_TMPFILE)) {                                                       \
            va_list args;                                                                          \
            va_start(args, flags);                                                                 \
            mode = va_arg(args, mode_t);                                                           \
            va_end(args);                                                                          \
        }                                                                                          \
        static int (*real)() = NULL;                                                               \
        if (!real)                                                                                 \
            real = (int (*)())dlsym(RTLD_NEXT, symbol);                                            \
        return real(__VA_ARGS__, mode);                                                            \
    }

int open(const char *path, int flags, ...)
    FORWARD_OPEN("open", path, flags) int open64(const char *path, int flags, ...)
        FORWARD_OPEN("open64", path, flags) int openat(int dir, const char *path, int flags, ...)
            FORWARD_OPEN("openat", dir, path, flags) int openat64(int dir, const char *path,
                                                                  int flags, ...)
                FORWARD_OPEN("openat64", dir, path, flags)
