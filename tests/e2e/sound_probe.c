/* Preloaded into the game by the sound tests (LD_PRELOAD), it writes a line
 * to the file named by ZARVO_SOUND_PROBE for each call below, with the time
 * of the call on CLOCK_MONOTONIC in nanoseconds, and passes the call on:
 *
 *   open TIME DEVICE RATE CHANNELS FORMAT DRIVER
 *                                           SDL_OpenAudioDevice (DEVICE 0: failed) on
 *                                           SDL's audio driver DRIVER
 *   queue TIME BYTES                        SDL_QueueAudio: a sound the game asked for
 *   write TIME BYTES                        pa_stream_write or pw_stream_queue_buffer: SDL
 *                                           handing sound to the server (PulseAudio's driver,
 *                                           PipeWire's)
 *   start TIME                              that write began with the sound queued last:
 *                                           its start reached the server
 *
 * The game is not changed: what it asks for is seen from outside. */
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
#include <time.h>
#include <unistd.h>

static int log_fd = -2;

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

static int64_t now_ns(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * 1000000000 + now.tv_nsec;
}

/* One write per line with O_APPEND: lines from several threads never mix. */
static void note(const char* format, ...) {
    if (log_fd == -2) {
        const char* path = getenv("ZARVO_SOUND_PROBE");
        log_fd = path != NULL ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    }
    if (log_fd < 0) {
        return;
    }
    char line[160];
    va_list arguments;
    va_start(arguments, format);
    const int length = vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    if (length > 0 && (size_t)length < sizeof line) {
        (void)!write(log_fd, line, (size_t)length);
    }
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
        fprintf(stderr, "sound probe: no %s to pass calls on to\n", function);
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

int SDL_QueueAudio(SDL_AudioDeviceID device, const void* data, Uint32 bytes) {
    static int (*real)(SDL_AudioDeviceID, const void*, Uint32);
    PASS_ON("SDL_QueueAudio", NULL);
    note("queue %lld %u\n", (long long)now_ns(), bytes);
    pthread_mutex_lock(&last_queued_guard);
    last_queued_known = bytes >= START_BYTES;
    if (last_queued_known) {
        memcpy(last_queued, data, START_BYTES);
    }
    pthread_mutex_unlock(&last_queued_guard);
    return real(device, data, bytes);
}

static void note_write(const void* data, size_t bytes) {
    const long long now = (long long)now_ns();
    note("write %lld %zu\n", now, bytes);
    pthread_mutex_lock(&last_queued_guard);
    if (starts_last_queued(data, bytes)) {
        last_queued_known = 0;
        note("start %lld\n", now);
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
