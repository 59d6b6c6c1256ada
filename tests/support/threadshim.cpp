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
 *	Under the sanitizer runtime the shim is preloaded ahead of it (with
 *	ASAN_OPTIONS verify_asan_link_order=0), so that its operator new is
 *	the one called; it hands every other request on.
 */
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <new>
#include <pthread.h>

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

}  // namespace

extern "C" __attribute__((visibility("default"))) int pthread_create(pthread_t *thread, const pthread_attr_t *attr,
                                                                     ThreadStart proc, void *arg)
{
    static CreateProc real = reinterpret_cast<CreateProc>(dlsym(RTLD_NEXT, "pthread_create"));
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
