/* Records a PulseAudio source (a sink's monitor) into a raw file of 16-bit
 * stereo samples at 44100 Hz until it is sent SIGTERM or SIGINT, or the server
 * goes away, and writes beside it FILE.timing: for every block read, the
 * samples recorded by then and the time on CLOCK_MONOTONIC (seconds) at
 * which the last of them reached the recorder. A read can come late, never
 * early, so that time is the earliest that the reads of the next second
 * allow; it holds where the server dropped samples in between too (a
 * loaded machine), which a single starting time would not. On its standard
 * output it prints the time of the first sample, and how many milliseconds
 * of sound the server dropped in all.
 *
 * Usage: zarvo_sound_recorder SOURCE FILE */
#include <pulse/error.h>
#include <pulse/simple.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>

#define RATE 44100
#define FRAME_BYTES 4
/* A read every 5 ms: the resolution of the times. */
#define READ_FRAMES (RATE / 200)
/* The reads after a block that bound its time. */
#define BOUNDING_READS 200
/* The server keeps this much for a recorder that reads late, rather than
 * dropping it. */
#define KEPT_FRAMES (RATE * 4)
/* The sound servers' own niceness. A recorder that waits longer than its
 * BOUNDING_READS for the processor, as it did beside a whole test run on two
 * cores, gives its blocks wrong times; it asks for the servers' share. */
#define RECORDER_NICENESS (-11)

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

    /* Before the sound library starts its thread, which inherits it; without
     * the right to (not root) the recorder runs as it is. */
    setpriority(PRIO_PROCESS, 0, RECORDER_NICENESS);

    FILE* out = fopen(argv[2], "wb");
    if (out == NULL) {
        perror(argv[2]);
        return 1;
    }
    const pa_sample_spec spec = {PA_SAMPLE_S16LE, RATE, 2};
    const pa_buffer_attr attributes = {KEPT_FRAMES * FRAME_BYTES, (uint32_t)-1, (uint32_t)-1, (uint32_t)-1,
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
    size_t reads = 0, capacity = 0;
    double* read_at = NULL;
    while (!stopping) {
        if (pa_simple_read(stream, block, sizeof block, &error) < 0) {
            break;
        }
        if (reads == capacity) {
            capacity = capacity ? 2 * capacity : 4096;
            read_at = realloc(read_at, capacity * sizeof *read_at);
            if (read_at == NULL) {
                return 1;
            }
        }
        read_at[reads++] = now_seconds();
        fwrite(block, 1, sizeof block, out);
    }
    fclose(out);

    char timing_path[4096];
    snprintf(timing_path, sizeof timing_path, "%s.timing", argv[2]);
    FILE* timing = fopen(timing_path, "w");
    if (timing == NULL) {
        perror(timing_path);
        return 1;
    }
    double first = 0, last = 0;
    for (size_t k = 0; k < reads; ++k) {
        double bound = read_at[k];
        for (size_t later = k + 1; later < reads && later <= k + BOUNDING_READS; ++later) {
            const double then = read_at[later] - (double)(later - k) * READ_FRAMES / RATE;
            if (then < bound) {
                bound = then;
            }
        }
        fprintf(timing, "%zu %.6f\n", (k + 1) * READ_FRAMES, bound);
        if (k == 0) {
            first = bound;
        }
        last = bound;
    }
    fclose(timing);
    const double recorded = reads > 0 ? (double)(reads - 1) * READ_FRAMES / RATE : 0;
    printf("origin %.6f dropped_ms %.0f\n", first - (double)READ_FRAMES / RATE, 1000 * (last - first - recorded));
    return 0;
}
