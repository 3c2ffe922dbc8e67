// Preloaded into the real program by tests: a full disk and a slow disk without a real one.
//   VELMORA_SHIM_FULL_UNDER=/dir   writes to files under /dir fail with ENOSPC while the file
//   VELMORA_SHIM_FULL_WHILE=/flag  exists (a test frees the space by removing it);
//   VELMORA_SHIM_SLOW_SYNC_MS=n    every fsync and fdatasync first waits n milliseconds (only
//   VELMORA_SHIM_SLOW_WHILE=/flag  while that file exists, when it is given);
//   VELMORA_SHIM_COUNT=/file       appends one line per fsync or fdatasync ("fsync" or
//                                  "fdatasync") to that file, to count them.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

static int isFull(int fd)
{
    const char* under = getenv("VELMORA_SHIM_FULL_UNDER");
    const char* flag = getenv("VELMORA_SHIM_FULL_WHILE");
    if (!under || !*under || !flag || access(flag, F_OK) != 0)
        return 0;
    char link[64], path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return 0;
    path[n] = '\0';
    const size_t len = strlen(under);
    return strncmp(path, under, len) == 0 && (path[len] == '/' || path[len] == '\0');
}

static void beforeSync(const char* name)
{
    const char* count = getenv("VELMORA_SHIM_COUNT");
    if (count && *count) {
        static ssize_t (*realWrite)(int, const void*, size_t);
        if (!realWrite)
            realWrite = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
        const int fd = open(count, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) {
            char line[32];
            const int n = snprintf(line, sizeof line, "%s\n", name);
            (void)!realWrite(fd, line, (size_t)n);
            close(fd);
        }
    }
    const char* slow = getenv("VELMORA_SHIM_SLOW_SYNC_MS");
    const char* slowWhile = getenv("VELMORA_SHIM_SLOW_WHILE");
    if (slow && *slow && (!slowWhile || !*slowWhile || access(slowWhile, F_OK) == 0)) {
        const long ms = atol(slow);
        struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
        while (nanosleep(&t, &t) != 0 && errno == EINTR) {
        }
    }
}

#define NEXT(fn)                                                                                   \
    static __typeof__(&fn) real;                                                                   \
    if (!real)                                                                                     \
    real = (__typeof__(&fn))dlsym(RTLD_NEXT, #fn)

ssize_t write(int fd, const void* buf, size_t n)
{
    NEXT(write);
    if (n > 0 && isFull(fd)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, buf, n);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t offset)
{
    NEXT(pwrite);
    if (n > 0 && isFull(fd)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, buf, n, offset);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off64_t offset)
{
    NEXT(pwrite64);
    if (n > 0 && isFull(fd)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, buf, n, offset);
}

ssize_t writev(int fd, const struct iovec* iov, int count)
{
    NEXT(writev);
    if (count > 0 && isFull(fd)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, iov, count);
}

int fsync(int fd)
{
    NEXT(fsync);
    beforeSync("fsync");
    return real(fd);
}

int fdatasync(int fd)
{
    NEXT(fdatasync);
    beforeSync("fdatasync");
    return real(fd);
}
