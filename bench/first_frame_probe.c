/* Time to the first frame on the screen, as seen from outside the program.
 * Either sends Return to the message box BOX (the game's last question,
 * whose default button is the answer), or starts PROGRAM; then reads the
 * screen rectangle X Y W H over and over until it shows the colour R,G,B
 * (the title splash's light blue), and prints the time from the key's
 * release, or the program's start, to the first read that showed it, with
 * the mean time one read took (the resolution), and when it started on
 * CLOCK_MONOTONIC, in nanoseconds. A program it started is
 * then asked to end (SIGTERM) and waited for.
 *
 * Usage: zarvo_first_frame_probe R,G,B X Y W H key BOX
 *        zarvo_first_frame_probe R,G,B X Y W H run [NAME=VALUE...] PROGRAM [ARGUMENT...] */
#define _XOPEN_SOURCE 700
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

/* The colour, within this much per channel. */
#define TITLE_TOLERANCE 16
/* Title pixels in the rectangle, counted on every other row and column. */
#define TITLE_PIXELS_WANTED 500
#define GIVE_UP_SECONDS 20.0
/* Between reads: reading without a pause would take a core, and the X
 * server's time, from the program being timed. */
#define READ_PAUSE_NS 1000000L

static double now_seconds(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

static int title_colour[3];

static int near(unsigned long value, int target) {
    const int difference = (int)value - target;
    return difference >= -TITLE_TOLERANCE && difference <= TITLE_TOLERANCE;
}

static long title_pixels(XImage* image) {
    long count = 0;
    for (int y = 0; y < image->height; y += 2) {
        for (int x = 0; x < image->width; x += 2) {
            const unsigned long pixel = XGetPixel(image, x, y);
            const unsigned long red = (pixel & image->red_mask) >> 16;
            const unsigned long green = (pixel & image->green_mask) >> 8;
            const unsigned long blue = pixel & image->blue_mask;
            if (near(red, title_colour[0]) && near(green, title_colour[1]) && near(blue, title_colour[2])) {
                ++count;
            }
        }
    }
    return count;
}

static void send_key(Display* display, Window box, KeySym key) {
    XKeyEvent event = {0};
    event.display = display;
    event.window = box;
    event.root = DefaultRootWindow(display);
    event.subwindow = None;
    event.time = CurrentTime;
    event.same_screen = True;
    event.keycode = XKeysymToKeycode(display, key);
    event.type = KeyPress;
    XSendEvent(display, box, True, KeyPressMask, (XEvent*)&event);
    event.type = KeyRelease;
    XSendEvent(display, box, True, KeyReleaseMask, (XEvent*)&event);
    XSync(display, False);
}

static void usage(const char* program) {
    fprintf(stderr, "usage: %s R,G,B X Y W H key BOX\n       %s R,G,B X Y W H run [NAME=VALUE...] PROGRAM [ARGUMENT...]\n",
            program, program);
}

/* Starts the program, with the NAME=VALUE settings before it added to its
 * environment alone; returns its process id, or -1. */
static pid_t start(char** command) {
    const pid_t child = fork();
    if (child == 0) {
        for (; command[0] != NULL && strchr(command[0], '=') != NULL; ++command) {
            putenv(command[0]);
        }
        execvp(command[0], command);
        fprintf(stderr, "cannot start %s\n", command[0]);
        _exit(127);
    }
    return child;
}

static void end(pid_t child) {
    if (child > 0) {
        kill(child, SIGTERM);
        waitpid(child, NULL, 0);
    }
}

int main(int argc, char** argv) {
    if (argc < 8 || sscanf(argv[1], "%d,%d,%d", &title_colour[0], &title_colour[1], &title_colour[2]) != 3 ||
        (strcmp(argv[6], "key") == 0 && argc != 8) || (strcmp(argv[6], "key") != 0 && strcmp(argv[6], "run") != 0)) {
        usage(argv[0]);
        return 2;
    }
    const int x = atoi(argv[2]);
    const int y = atoi(argv[3]);
    const unsigned width = (unsigned)atoi(argv[4]);
    const unsigned height = (unsigned)atoi(argv[5]);
    const int run = strcmp(argv[6], "run") == 0;
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "%s: cannot open the display\n", argv[0]);
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    /* Nothing of the colour may be there before the start. */
    XImage* image = XGetImage(display, root, x, y, width, height, AllPlanes, ZPixmap);
    if (image == NULL || title_pixels(image) >= TITLE_PIXELS_WANTED) {
        fprintf(stderr, "%s: the rectangle cannot be read, or shows the colour already\n", argv[0]);
        return 1;
    }
    XDestroyImage(image);

    pid_t child = -1;
    double started_at;
    if (run) {
        started_at = now_seconds();
        child = start(argv + 7);
        if (child < 0) {
            fprintf(stderr, "%s: cannot start %s\n", argv[0], argv[7]);
            return 1;
        }
    } else {
        send_key(display, (Window)strtoul(argv[7], NULL, 0), XK_Return);
        started_at = now_seconds();
    }
    double last_without = started_at;  /* when the last read that missed it began */
    long reads = 0;
    for (;;) {
        const double started = now_seconds();
        image = XGetImage(display, root, x, y, width, height, AllPlanes, ZPixmap);
        ++reads;
        const double seen = now_seconds();
        const long found = image != NULL ? title_pixels(image) : 0;
        if (image != NULL) {
            XDestroyImage(image);
        }
        if (found >= TITLE_PIXELS_WANTED) {
            /* It came after the previous read began and before this one ended. */
            printf("first_frame_ms %.1f after_ms %.1f reads %ld ms_per_read %.2f start_ns %.0f\n",
                   (seen - started_at) * 1000.0, (last_without - started_at) * 1000.0, reads,
                   (seen - started_at) * 1000.0 / (double)reads, started_at * 1e9);
            break;
        }
        last_without = started;
        const struct timespec pause = {0, READ_PAUSE_NS};
        nanosleep(&pause, NULL);
        if (seen - started_at > GIVE_UP_SECONDS) {
            fprintf(stderr, "%s: nothing of the colour within %.0f s\n", argv[0], GIVE_UP_SECONDS);
            end(child);
            XCloseDisplay(display);
            return 1;
        }
    }
    end(child);
    XCloseDisplay(display);
    return 0;
}
