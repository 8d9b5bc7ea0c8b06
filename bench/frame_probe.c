/* Preloaded into the Linux program by the benchmarks (LD_PRELOAD), it writes
 * to the file named by ZARVO_FRAME_PROBE a line for each call below, times
 * on CLOCK_MONOTONIC in nanoseconds, and passes the call on:
 *
 *   swap BEGIN END CPU_BEGIN CPU_END INVOLUNTARY VOLUNTARY
 *                                 SDL_GL_SwapWindow: when it began and returned;
 *                                 the main thread's CPU time then, and its
 *                                 context switches so far, taken from it
 *                                 (preempted) and given up by it (waits)
 *   start TIME                    the program starting (this library loaded)
 *   key TIME DOWN SYM             SDL_PollEvent handing the game a key event
 *   call NAME BEGIN END CPU_BEGIN CPU_END
 *                                 the calls that open the game window, from the
 *                                 last question to the first frame (where that
 *                                 time goes), and those that play a sound, with
 *                                 the calling thread's CPU time
 *
 * Lines are kept in a buffer and written a block at a time, and at exit:
 * a write in each frame would be part of what is measured. The program is
 * not changed: its frames are seen from outside, not from its own log. */
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

/* A sound may be asked for on the sound loader's thread too. */
static pthread_mutex_t buffer_guard = PTHREAD_MUTEX_INITIALIZER;
static int log_fd = -2;
static char buffer[1 << 16];
static size_t used = 0;

static int64_t clock_ns(clockid_t clock) {
    struct timespec now;
    clock_gettime(clock, &now);
    return (int64_t)now.tv_sec * 1000000000 + now.tv_nsec;
}

static void flush_buffer(void) {
    if (log_fd >= 0 && used > 0) {
        (void)!write(log_fd, buffer, used);
    }
    used = 0;
}

__attribute__((destructor)) static void at_exit(void) {
    pthread_mutex_lock(&buffer_guard);
    flush_buffer();
    pthread_mutex_unlock(&buffer_guard);
}

static void note(const char* format, ...) {
    pthread_mutex_lock(&buffer_guard);
    if (log_fd == -2) {
        const char* path = getenv("ZARVO_FRAME_PROBE");
        log_fd = path != NULL ? open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644) : -1;
    }
    if (log_fd >= 0) {
        if (sizeof buffer - used < 160) {
            flush_buffer();
        }
        va_list arguments;
        va_start(arguments, format);
        const int length = vsnprintf(buffer + used, sizeof buffer - used, format, arguments);
        va_end(arguments);
        if (length > 0 && (size_t)length < sizeof buffer - used) {
            used += (size_t)length;
        }
    }
    pthread_mutex_unlock(&buffer_guard);
}

__attribute__((constructor)) static void at_start(void) {
    note("start %lld\n", (long long)clock_ns(CLOCK_MONOTONIC));
}

static void* next_definition(const char* function) {
    void* found = dlsym(RTLD_NEXT, function);
    if (found == NULL) {
        fprintf(stderr, "frame probe: no %s to pass calls on to\n", function);
        abort();
    }
    return found;
}

/* Passes a call on, noting when it began and returned. */
#define TIMED(name, call)                                                                              \
    do {                                                                                               \
        if (real == NULL) {                                                                            \
            *(void**)&real = next_definition(name);                                                    \
        }                                                                                              \
        const int64_t begin = clock_ns(CLOCK_MONOTONIC);                                               \
        const int64_t cpu = clock_ns(CLOCK_THREAD_CPUTIME_ID);                                         \
        call;                                                                                          \
        note("call %s %lld %lld %lld %lld\n", name, (long long)begin, (long long)clock_ns(CLOCK_MONOTONIC), \
             (long long)cpu, (long long)clock_ns(CLOCK_THREAD_CPUTIME_ID));                            \
    } while (0)

int SDL_ShowMessageBox(const SDL_MessageBoxData* data, int* button) {
    static int (*real)(const SDL_MessageBoxData*, int*);
    int result;
    TIMED("SDL_ShowMessageBox", result = real(data, button));
    return result;
}

SDL_Window* SDL_CreateWindow(const char* title, int x, int y, int w, int h, Uint32 flags) {
    static SDL_Window* (*real)(const char*, int, int, int, int, Uint32);
    SDL_Window* result;
    TIMED("SDL_CreateWindow", result = real(title, x, y, w, h, flags));
    return result;
}

SDL_GLContext SDL_GL_CreateContext(SDL_Window* window) {
    static SDL_GLContext (*real)(SDL_Window*);
    SDL_GLContext result;
    TIMED("SDL_GL_CreateContext", result = real(window));
    return result;
}

int SDL_GL_MakeCurrent(SDL_Window* window, SDL_GLContext context) {
    static int (*real)(SDL_Window*, SDL_GLContext);
    int result;
    TIMED("SDL_GL_MakeCurrent", result = real(window, context));
    return result;
}

void SDL_ShowWindow(SDL_Window* window) {
    static void (*real)(SDL_Window*);
    TIMED("SDL_ShowWindow", real(window));
}

void SDL_RaiseWindow(SDL_Window* window) {
    static void (*real)(SDL_Window*);
    TIMED("SDL_RaiseWindow", real(window));
}

/* Sounds, asked for on the main thread: SDL's audio device lock is taken. */
int SDL_QueueAudio(SDL_AudioDeviceID device, const void* data, Uint32 bytes) {
    static int (*real)(SDL_AudioDeviceID, const void*, Uint32);
    int result;
    TIMED("SDL_QueueAudio", result = real(device, data, bytes));
    return result;
}

void SDL_ClearQueuedAudio(SDL_AudioDeviceID device) {
    static void (*real)(SDL_AudioDeviceID);
    TIMED("SDL_ClearQueuedAudio", real(device));
}

/* GLU's own declaration is left out: its types do not matter here. */
int gluBuild2DMipmaps(unsigned target, int components, int width, int height, unsigned format, unsigned type,
                      const void* data) {
    static int (*real)(unsigned, int, int, int, unsigned, unsigned, const void*);
    int result;
    TIMED("gluBuild2DMipmaps", result = real(target, components, width, height, format, type, data));
    return result;
}

void SDL_GL_SwapWindow(SDL_Window* window) {
    static void (*real)(SDL_Window*);
    if (real == NULL) {
        *(void**)&real = next_definition("SDL_GL_SwapWindow");
    }
    const int64_t begin = clock_ns(CLOCK_MONOTONIC);
    const int64_t cpu = clock_ns(CLOCK_THREAD_CPUTIME_ID);
    real(window);
    const int64_t end = clock_ns(CLOCK_MONOTONIC);
    struct rusage usage;
    getrusage(RUSAGE_THREAD, &usage);
    note("swap %lld %lld %lld %lld %ld %ld\n", (long long)begin, (long long)end, (long long)cpu,
         (long long)clock_ns(CLOCK_THREAD_CPUTIME_ID), usage.ru_nivcsw, usage.ru_nvcsw);
}

int SDL_PollEvent(SDL_Event* event) {
    static int (*real)(SDL_Event*);
    if (real == NULL) {
        *(void**)&real = next_definition("SDL_PollEvent");
    }
    const int taken = real(event);
    if (taken && event != NULL && (event->type == SDL_KEYDOWN || event->type == SDL_KEYUP)) {
        note("key %lld %d %d\n", (long long)clock_ns(CLOCK_MONOTONIC), event->type == SDL_KEYDOWN,
             (int)event->key.keysym.sym);
    }
    return taken;
}
