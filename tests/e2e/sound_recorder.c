/* Records a PulseAudio source (a sink's monitor) into a raw file of 16-bit
 * stereo samples at 44100 Hz until it is sent SIGTERM or SIGINT, or the server
 * goes away. It prints, on its standard output, the time on CLOCK_MONOTONIC
 * (in seconds) at which the first recorded sample reached the recorder: the
 * earliest of the times at which each read returned, less the sound it had
 * read by then. A read can come late, never early, so the earliest is the
 * closest; the monitor's own delivery delay is left in.
 *
 * Usage: zarvo_sound_recorder SOURCE FILE */
#include <pulse/error.h>
#include <pulse/simple.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#define RATE 44100
#define FRAME_BYTES 4
/* A read every 5 ms: the resolution of the start time. */
#define READ_FRAMES (RATE / 200)

static volatile sig_atomic_t stopping = 0;

static void stop(int signal_number) {
    (void)signal_number;
    stopping = 1;
}

static double now_seconds(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s SOURCE FILE\n", argv[0]);
        return 2;
    }
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = stop;  /* no SA_RESTART: a blocked read returns */
    sigaction(SIGTERM, &action, NULL);
    sigaction(SIGINT, &action, NULL);

    FILE* out = fopen(argv[2], "wb");
    if (out == NULL) {
        perror(argv[2]);
        return 1;
    }
    const pa_sample_spec spec = {PA_SAMPLE_S16LE, RATE, 2};
    const pa_buffer_attr attributes = {(uint32_t)-1, (uint32_t)-1, (uint32_t)-1, (uint32_t)-1,
                                       READ_FRAMES * FRAME_BYTES};
    int error = 0;
    pa_simple* stream = pa_simple_new(NULL, "zarvo sound recorder", PA_STREAM_RECORD, argv[1], "monitor", &spec,
                                      NULL, &attributes, &error);
    if (stream == NULL) {
        fprintf(stderr, "cannot record %s: %s\n", argv[1], pa_strerror(error));
        return 1;
    }
    printf("recording\n");
    fflush(stdout);
    static char block[READ_FRAMES * FRAME_BYTES];
    long long frames = 0;
    double origin = 0;
    while (!stopping) {
        if (pa_simple_read(stream, block, sizeof block, &error) < 0) {
            break;
        }
        const double read_at = now_seconds();
        fwrite(block, 1, sizeof block, out);
        frames += READ_FRAMES;
        const double start = read_at - (double)frames / RATE;
        if (frames == READ_FRAMES || start < origin) {
            origin = start;
        }
    }
    fclose(out);
    printf("origin %.6f frames %lld\n", origin, frames);
    return 0;
}
