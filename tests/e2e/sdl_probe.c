/* Preloaded into the Linux program by the tests and the benchmarks
 * (LD_PRELOAD), it writes to the file named by ZARVO_PROBE a line for each
 * call below, times on CLOCK_MONOTONIC in nanoseconds, and passes the call on:
 *
 *   start TIME                    the program starting (this library loaded)
 *   swap BEGIN END CPU_BEGIN CPU_END INVOLUNTARY VOLUNTARY
 *                                 SDL_GL_SwapWindow: when it began and returned;
 *                                 the main thread's CPU time then, and its
 *                                 context switches so far, taken from it
 *                                 (preempted) and given up by it (waits)
 *   heap TIME IN_USE MAPPED ARENAS
 *                                 before the first swap of each second: the bytes
 *                                 malloc has handed out and not had back, in its
 *                                 arenas and in blocks of their own; the bytes
 *                                 its arenas hold from the system (mallinfo2)
 *   key TIME DOWN SYM             SDL_PollEvent handing the game a key event
 *   call NAME BEGIN END CPU_BEGIN CPU_END
 *                                 the calls that open the game window and those
 *                                 that play a sound, with the calling thread's
 *                                 CPU time
 *   open TIME DEVICE RATE CHANNELS FORMAT DRIVER
 *                                 SDL_OpenAudioDevice (DEVICE 0: failed) on
 *                                 SDL's audio driver DRIVER; its close is a
 *                                 call line (SDL_CloseAudioDevice)
 *   queue TIME BYTES              SDL_QueueAudio: a sound the game asked for
 *   write TIME BYTES              pa_stream_write or pw_stream_queue_buffer: SDL
 *                                 handing sound to the server (PulseAudio's
 *                                 driver, PipeWire's)
 *   sound TIME                    that write began with the sound queued last:
 *                                 its start reached the server
 *
 * Swap and key lines come every frame: they are kept in a buffer and written
 * a block at a time (a write in each frame would be part of what is
 * measured); any other line is written at once, after what the buffer holds,
 * so a test can read it while the game runs. The program is not changed: it
 * is seen from outside, but for two things a test may ask for:
 *
 *   ZARVO_PROBE_HOLD_RAISE_MS=N   raise() waits N ms before it passes on, as a
 *                                 busy machine can hold back the thread that
 *                                 ends the program, so that whatever the other
 *                                 threads do in that time is seen every run
 *   ZARVO_PROBE_FRAME_RATE=N      SDL_GL_SwapWindow returns no sooner than 1/N s
 *                                 after it last did, as on a display that
 *                                 waits for its refresh: a game that draws
 *                                 without pause takes a core, and a row that
 *                                 does not judge frame times need not pay it */
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

/* Lines come from the main thread, the sound loader's and SDL's audio thread. */
static pthread_mutex_t buffer_guard = PTHREAD_MUTEX_INITIALIZER;
static int log_fd = -2;
static char buffer[1 << 16];
static size_t used = 0;

static int64_t clock_ns(clockid_t clock) {
    struct timespec now;
    clock_gettime(clock, &now);
    return (int64_t)now.tv_sec * 1000000000 + now.tv_nsec;
}

static int64_t now_ns(void) {
    return clock_ns(CLOCK_MONOTONIC);
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

static void note_line(int at_once, const char* format, va_list arguments) {
    pthread_mutex_lock(&buffer_guard);
    if (log_fd == -2) {
        /* The copies of the game that ask the sound server whether it answers
         * write nothing. The first program to open the file empties it; what
         * it starts (the game, started by a wrapper; zenity, SDL 3's message
         * boxes) inherits the preload and adds to it. */
        const char* path = getenv("ZARVO_SOUND_SERVER_CHECK") == NULL ? getenv("ZARVO_PROBE") : NULL;
        const int emptied = getenv("ZARVO_PROBE_OPENED") != NULL ? 0 : O_TRUNC;
        log_fd = path != NULL ? open(path, O_WRONLY | O_CREAT | emptied | O_APPEND | O_CLOEXEC, 0644) : -1;
        if (log_fd >= 0) {
            setenv("ZARVO_PROBE_OPENED", "1", 1);
        }
    }
    if (log_fd >= 0) {
        if (sizeof buffer - used < 160) {
            flush_buffer();
        }
        const int length = vsnprintf(buffer + used, sizeof buffer - used, format, arguments);
        if (length > 0 && (size_t)length < sizeof buffer - used) {
            used += (size_t)length;
        }
        if (at_once) {
            flush_buffer();
        }
    }
    pthread_mutex_unlock(&buffer_guard);
}

static void note(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    note_line(1, format, arguments);
    va_end(arguments);
}

static void note_frame(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    note_line(0, format, arguments);
    va_end(arguments);
}

__attribute__((constructor)) static void at_start(void) {
    note("start %lld\n", (long long)now_ns());
}

/* The next definition of a function, the one the call is passed on to: in
 * library, when that was opened out of the global scope (SDL 3, loaded by
 * sdl2-compat, brings libpulse in so). */
static void* definition(const char* function, const char* library) {
    void* found = dlsym(RTLD_NEXT, function);
    if (found == NULL && library != NULL) {
        void* handle = dlopen(library, RTLD_LAZY | RTLD_NOLOAD);
        found = handle != NULL ? dlsym(handle, function) : NULL;
    }
    if (found == NULL) {
        fprintf(stderr, "SDL probe: no %s to pass calls on to\n", function);
        abort();
    }
    return found;
}

#define PASS_ON(function, library)                              \
    do {                                                        \
        if (real == NULL) {                                     \
            *(void**)&real = definition(function, library);     \
        }                                                       \
    } while (0)

/* Passes a call on, noting when it began and returned. */
#define TIMED(name, call)                                                                     \
    do {                                                                                      \
        PASS_ON(name, NULL);                                                                  \
        const int64_t begin = now_ns();                                                       \
        const int64_t cpu = clock_ns(CLOCK_THREAD_CPUTIME_ID);                                \
        call;                                                                                 \
        note("call %s %lld %lld %lld %lld\n", name, (long long)begin, (long long)now_ns(),    \
             (long long)cpu, (long long)clock_ns(CLOCK_THREAD_CPUTIME_ID));                   \
    } while (0)

int raise(int signal_number) {
    static int (*real)(int);
    PASS_ON("raise", NULL);
    const char* hold = getenv("ZARVO_PROBE_HOLD_RAISE_MS");
    if (hold != NULL) {
        const long ms = atol(hold);
        const struct timespec held = {ms / 1000, ms % 1000 * 1000000L};
        nanosleep(&held, NULL);
    }
    return real(signal_number);
}

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

/* GLU's own declaration is left out: its types do not matter here. */
int gluBuild2DMipmaps(unsigned target, int components, int width, int height, unsigned format, unsigned type,
                      const void* data) {
    static int (*real)(unsigned, int, int, int, unsigned, unsigned, const void*);
    int result;
    TIMED("gluBuild2DMipmaps", result = real(target, components, width, height, format, type, data));
    return result;
}

/* The heap once a second, at the same point of a frame: what a frame
 * allocates and frees again is not counted in the middle of it. */
static void note_heap(void) {
    static int64_t next_second = 0;
    const int64_t now = now_ns();
    if (now >= next_second) {
        next_second = (now / 1000000000 + 1) * 1000000000;
        const struct mallinfo2 heap = mallinfo2();
        note("heap %lld %zu %zu %zu\n", (long long)now, heap.uordblks, heap.hblkhd, heap.arena);
    }
}

/* Waits for the next refresh of a display of ZARVO_PROBE_FRAME_RATE frames a
 * second, if that is set; a frame later than one refresh waits for none. */
static void wait_for_refresh(void) {
    static int64_t period_ns = -1;
    static int64_t next_ns = 0;
    if (period_ns < 0) {
        const char* rate = getenv("ZARVO_PROBE_FRAME_RATE");
        period_ns = rate != NULL && atol(rate) > 0 ? 1000000000 / atol(rate) : 0;
    }
    if (period_ns == 0) {
        return;
    }
    const int64_t now = now_ns();
    if (now < next_ns) {
        const struct timespec until = {next_ns / 1000000000, next_ns % 1000000000};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, NULL) == EINTR) {
        }
    }
    next_ns = (now > next_ns ? now : next_ns) + period_ns;
}

void SDL_GL_SwapWindow(SDL_Window* window) {
    static void (*real)(SDL_Window*);
    PASS_ON("SDL_GL_SwapWindow", NULL);
    note_heap();
    const int64_t begin = now_ns();
    const int64_t cpu = clock_ns(CLOCK_THREAD_CPUTIME_ID);
    real(window);
    wait_for_refresh();
    const int64_t end = now_ns();
    struct rusage usage;
    getrusage(RUSAGE_THREAD, &usage);
    note_frame("swap %lld %lld %lld %lld %ld %ld\n", (long long)begin, (long long)end, (long long)cpu,
               (long long)clock_ns(CLOCK_THREAD_CPUTIME_ID), usage.ru_nivcsw, usage.ru_nvcsw);
}

int SDL_PollEvent(SDL_Event* event) {
    static int (*real)(SDL_Event*);
    PASS_ON("SDL_PollEvent", NULL);
    const int taken = real(event);
    if (taken && event != NULL && (event->type == SDL_KEYDOWN || event->type == SDL_KEYUP)) {
        note_frame("key %lld %d %d\n", (long long)now_ns(), event->type == SDL_KEYDOWN,
                   (int)event->key.keysym.sym);
    }
    return taken;
}

/* ---- sounds ---- */

SDL_AudioDeviceID SDL_OpenAudioDevice(const char* name, int capture, const SDL_AudioSpec* desired,
                                      SDL_AudioSpec* obtained, int allowedChanges) {
    static SDL_AudioDeviceID (*real)(const char*, int, const SDL_AudioSpec*, SDL_AudioSpec*, int);
    static const char* (*driver)(void);
    PASS_ON("SDL_OpenAudioDevice", NULL);
    if (driver == NULL) {
        *(void**)&driver = definition("SDL_GetCurrentAudioDriver", NULL);
    }
    const SDL_AudioDeviceID device = real(name, capture, desired, obtained, allowedChanges);
    const SDL_AudioSpec* spec = obtained != NULL ? obtained : desired;
    const char* driver_name = driver();
    note("open %lld %u %d %d %d %s\n", (long long)now_ns(), device, spec->freq, spec->channels, spec->format,
         driver_name != NULL ? driver_name : "none");
    return device;
}

void SDL_CloseAudioDevice(SDL_AudioDeviceID device) {
    static void (*real)(SDL_AudioDeviceID);
    TIMED("SDL_CloseAudioDevice", real(device));
}

/* The first bytes of the sound queued last, to know its start in a write: a
 * sound cleared and queued anew starts a buffer of SDL's, whose first write
 * may be cut short to what the server asked for. */
#define START_BYTES 512
#define LEAST_START_BYTES 64
static pthread_mutex_t last_queued_guard = PTHREAD_MUTEX_INITIALIZER;
static unsigned char last_queued[START_BYTES];
static int last_queued_known = 0;

/* Whether data begins with the sound queued last; silence would match any
 * silent buffer, so it never does. */
static int starts_last_queued(const void* data, size_t bytes) {
    const size_t compared = bytes < START_BYTES ? bytes : START_BYTES;
    if (!last_queued_known || compared < LEAST_START_BYTES || memcmp(data, last_queued, compared) != 0) {
        return 0;
    }
    for (size_t i = 0; i < compared; ++i) {
        if (last_queued[i] != 0) {
            return 1;
        }
    }
    return 0;
}

/* Sounds, asked for on the main thread: SDL's audio device lock is taken. */
int SDL_QueueAudio(SDL_AudioDeviceID device, const void* data, Uint32 bytes) {
    static int (*real)(SDL_AudioDeviceID, const void*, Uint32);
    note("queue %lld %u\n", (long long)now_ns(), bytes);
    pthread_mutex_lock(&last_queued_guard);
    last_queued_known = bytes >= START_BYTES;
    if (last_queued_known) {
        memcpy(last_queued, data, START_BYTES);
    }
    pthread_mutex_unlock(&last_queued_guard);
    int result;
    TIMED("SDL_QueueAudio", result = real(device, data, bytes));
    return result;
}

void SDL_ClearQueuedAudio(SDL_AudioDeviceID device) {
    static void (*real)(SDL_AudioDeviceID);
    TIMED("SDL_ClearQueuedAudio", real(device));
}

static void note_write(const void* data, size_t bytes) {
    const long long now = (long long)now_ns();
    note("write %lld %zu\n", now, bytes);
    pthread_mutex_lock(&last_queued_guard);
    if (starts_last_queued(data, bytes)) {
        last_queued_known = 0;
        note("sound %lld\n", now);
    }
    pthread_mutex_unlock(&last_queued_guard);
}

/* libpulse's own declaration is left out: its types do not matter here. */
int pa_stream_write(void* stream, const void* data, size_t bytes, void (*free_data)(void*), int64_t offset,
                    int seek) {
    static int (*real)(void*, const void*, size_t, void (*)(void*), int64_t, int);
    PASS_ON("pa_stream_write", "libpulse.so.0");
    note_write(data, bytes);
    return real(stream, data, bytes, free_data, offset, seek);
}

/* What of libpipewire's buffers the probe reads, as SPA lays them out. */
struct spa_chunk {
    uint32_t offset;
    uint32_t size;
    int32_t stride;
    int32_t flags;
};
struct spa_data {
    uint32_t type;
    uint32_t flags;
    int64_t fd;
    uint32_t mapoffset;
    uint32_t maxsize;
    void* data;
    struct spa_chunk* chunk;
};
struct spa_buffer {
    uint32_t n_metas;
    uint32_t n_datas;
    void* metas;
    struct spa_data* datas;
};
struct pw_buffer {
    struct spa_buffer* buffer;
};

static int (*real_queue_buffer)(void*, struct pw_buffer*);

static int queue_buffer(void* stream, struct pw_buffer* buffer) {
    const struct spa_buffer* spa = buffer->buffer;
    if (spa->n_datas > 0 && spa->datas[0].data != NULL && spa->datas[0].chunk != NULL) {
        const struct spa_chunk* chunk = spa->datas[0].chunk;
        note_write((const unsigned char*)spa->datas[0].data + chunk->offset, chunk->size);
    }
    return real_queue_buffer(stream, buffer);
}

/* SDL's PipeWire driver takes libpipewire's functions with dlsym from the
 * library it opened itself, out of reach of a preloaded definition: dlsym is
 * passed on here, and hands SDL the probe's pw_stream_queue_buffer. Only
 * RTLD_NEXT depends on the caller, and only the probe asks with it. */
void* dlsym(void* handle, const char* symbol) {
    static void* (*real)(void*, const char*);
    if (real == NULL) {
        static const char* const versions[] = {"GLIBC_2.34", "GLIBC_2.2.5", "GLIBC_2.17"};
        for (size_t i = 0; real == NULL && i < sizeof versions / sizeof *versions; ++i) {
            *(void**)&real = dlvsym(RTLD_NEXT, "dlsym", versions[i]);
        }
        if (real == NULL) {
            abort();
        }
    }
    void* found = real(handle, symbol);
    if (found != NULL && handle != RTLD_NEXT && strcmp(symbol, "pw_stream_queue_buffer") == 0) {
        *(void**)&real_queue_buffer = found;
        int (*const wrapper)(void*, struct pw_buffer*) = queue_buffer;
        memcpy(&found, &wrapper, sizeof found);
    }
    return found;
}
