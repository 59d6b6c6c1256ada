/*
 * threadshim.cpp --
 *
 *	A library preloaded into a child process by the tests of worker
 *	threads, to make them meet the failures of a loaded machine. What it
 *	does is read from the environment variable TESK_SHIM at every thread
 *	start, so a script sets it once it has loaded what it needs:
 *	  nothread  pthread_create fails with EAGAIN, as at a thread limit;
 *	  nomem     threads started from then on get no block of 64 KiB or
 *	            more from operator new (std::bad_alloc), as when memory
 *	            runs out under them;
 *	  anything else, or unset: threads start as usual.
 *	Two more variables, read at each call:
 *	  TESK_SHIM_CPUS=N  the process sees N processors in its affinity mask
 *	            and no cgroup CPU quota, so that the readers start their
 *	            worker threads on a machine of one processor too;
 *	  TESK_SHIM_LOG=FILE  every thread start asked for appends a line
 *	            "start" to FILE, so a test knows the threaded path ran.
 *	Under the sanitizer runtime the shim is preloaded ahead of it (with
 *	ASAN_OPTIONS verify_asan_link_order=0), so that its operator new is
 *	the one called; it hands every other request on.
 */
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <new>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

namespace {

using ThreadStart = void *(*)(void *);
using CreateProc = int (*)(pthread_t *, const pthread_attr_t *, ThreadStart, void *);
using NewProc = void *(*)(std::size_t);

/* Set in the threads started under "nomem". */
thread_local bool starved = false;

/* A thread's own start, carried to the trampoline. */
struct Start {
    ThreadStart proc;
    void *arg;
};

bool modeIs(const char *mode)
{
    const char *value = std::getenv("TESK_SHIM");
    return value != nullptr && std::strcmp(value, mode) == 0;
}

void *starvedStart(void *data)
{
    Start start = *static_cast<Start *>(data);
    std::free(data);
    starved = true;
    return start.proc(start.arg);
}

/* The processor count TESK_SHIM_CPUS asks for, or 0. */
int forcedProcessors()
{
    const char *value = std::getenv("TESK_SHIM_CPUS");
    int n = value != nullptr ? std::atoi(value) : 0;
    return n > 0 && n <= CPU_SETSIZE ? n : 0;
}

/* A line "start" appended to the file TESK_SHIM_LOG names, if any. */
void logStart()
{
    const char *name = std::getenv("TESK_SHIM_LOG");
    if (name == nullptr || *name == '\0') {
        return;
    }
    int fd = ::open(name, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd >= 0) {
        ssize_t written = ::write(fd, "start\n", 6);
        (void)written;
        ::close(fd);
    }
}

/* True for the cgroup files that give a CPU quota. */
bool quotaFile(const char *name)
{
    return name != nullptr && std::strncmp(name, "/sys/fs/cgroup/", 15) == 0 && forcedProcessors() > 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int sched_getaffinity(pid_t pid, size_t size, cpu_set_t *set)
{
    using AffinityProc = int (*)(pid_t, size_t, cpu_set_t *);
    static AffinityProc real = reinterpret_cast<AffinityProc>(dlsym(RTLD_NEXT, "sched_getaffinity"));
    int n = forcedProcessors();
    if (n == 0 || set == nullptr || size < sizeof(cpu_set_t)) {
        return real(pid, size, set);
    }
    CPU_ZERO_S(size, set);
    for (int i = 0; i < n; i++) {
        CPU_SET_S(i, size, set);
    }
    return 0;
}

extern "C" __attribute__((visibility("default"))) FILE *fopen(const char *name, const char *mode)
{
    using OpenProc = FILE *(*)(const char *, const char *);
    static OpenProc real = reinterpret_cast<OpenProc>(dlsym(RTLD_NEXT, "fopen"));
    if (quotaFile(name)) {
        errno = ENOENT;
        return nullptr;
    }
    return real(name, mode);
}

extern "C" __attribute__((visibility("default"))) FILE *fopen64(const char *name, const char *mode)
{
    using OpenProc = FILE *(*)(const char *, const char *);
    static OpenProc real = reinterpret_cast<OpenProc>(dlsym(RTLD_NEXT, "fopen64"));
    if (quotaFile(name)) {
        errno = ENOENT;
        return nullptr;
    }
    return real(name, mode);
}

extern "C" __attribute__((visibility("default"))) int pthread_create(pthread_t *thread, const pthread_attr_t *attr,
                                                                     ThreadStart proc, void *arg)
{
    static CreateProc real = reinterpret_cast<CreateProc>(dlsym(RTLD_NEXT, "pthread_create"));
    logStart();
    if (modeIs("nothread")) {
        return EAGAIN;
    }
    if (modeIs("nomem")) {
        Start *start = static_cast<Start *>(std::malloc(sizeof(Start)));
        if (start == nullptr) {
            return EAGAIN;
        }
        *start = {proc, arg};
        int code = real(thread, attr, starvedStart, start);
        if (code != 0) {
            std::free(start);
        }
        return code;
    }
    return real(thread, attr, proc, arg);
}

__attribute__((visibility("default"))) void *operator new(std::size_t size)
{
    static NewProc real = reinterpret_cast<NewProc>(dlsym(RTLD_NEXT, "_Znwm"));
    if (starved && size >= 65536) {
        throw std::bad_alloc();
    }
    return real(size);
}
