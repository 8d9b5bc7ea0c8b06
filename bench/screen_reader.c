/* The game's frames as a player sees them: reads a rectangle of the X screen
 * over and over, a short pause apart (reading without a pause would take a
 * core, and the X server's time, from the program being timed), and times
 * what it shows on CLOCK_MONOTONIC. Two measures:
 *
 * zarvo_screen_reader first-frame R,G,B X Y W H key BOX
 * zarvo_screen_reader first-frame R,G,B X Y W H run [NAME=VALUE...] PROGRAM [ARGUMENT...]
 *   Sends Return to the message box BOX (the game's last question, whose
 *   default button is the answer), or starts PROGRAM with the settings added
 *   to its environment alone; then reads the rectangle until it shows the
 *   colour R,G,B (the title splash's light blue), and prints
 *     first_frame_ms T after_ms A reads N ms_per_read R start_ns S
 *   (from the key's release, or the program's start, to the end of the first
 *   read that showed it; to the start of the last that did not; the reads;
 *   when it started). A program it started is then asked to end (SIGTERM)
 *   and waited for.
 *
 * zarvo_screen_reader key-to-screen PRESSES X Y W H [UP_KEY DOWN_KEY]
 *   X Y W H is a rectangle inside the paddle's column, between the walls:
 *   nothing else in it moves but the ball, when it passes. Each press waits a
 *   random 30 to 130 ms, then for the column to keep still over two reads (no
 *   ball, the paddle at rest); finds the paddle's rows; presses the key that
 *   moves it away from the nearer wall (the keys taking turns otherwise), as
 *   a keyboard presses it (XTest); reads the rows around the paddle until
 *   they change; and releases the key. A change outside the paddle's rows is
 *   the ball, and a move the wrong way the last press's; neither is counted.
 *   For each press it prints
 *     moved PRESSED MISSED SEEN reads N
 *   (in ns: the key pressed; the start of the last read that missed the move,
 *   or the press; the end of the first that saw it), or "ball PRESSED",
 *   "stale PRESSED" or "lost PRESSED" (no change within a second), and at
 *   the end "presses P moved M ball B stale S lost L ms_per_read R" (R: from
 *   one read to the next while waiting for a move). */
#define _XOPEN_SOURCE 700
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now_ms(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec * 1e3 + (double)now.tv_nsec / 1e6;
}

static long long as_ns(double ms) { return (long long)(ms * 1e6); }

static void pause_ms(double ms) {
    struct timespec span = {(time_t)(ms / 1000.0), (long)((ms - 1000.0 * (double)(time_t)(ms / 1000.0)) * 1e6)};
    nanosleep(&span, NULL);
}

struct rectangle {
    int x, y;
    unsigned width, height;
};

static XImage* grab(Display* display, struct rectangle area) {
    return XGetImage(display, DefaultRootWindow(display), area.x, area.y, area.width, area.height, AllPlanes,
                     ZPixmap);
}

/* What read_until saw: when the last read that missed began (or from), when
 * the one that saw ended, and how many reads it took. */
struct reading {
    double missed, seen;
    long reads;
};

/* Reads the area, pause_ms apart, until seen(image, context) holds; returns
 * that image, or NULL when give_up_ms have passed since from. */
static XImage* read_until(Display* display, struct rectangle area, int (*seen)(XImage*, const void*),
                          const void* context, double from, double give_up_ms, double pause, struct reading* out) {
    out->missed = from;
    out->reads = 0;
    for (;;) {
        const double started = now_ms();
        XImage* image = grab(display, area);
        out->seen = now_ms();
        ++out->reads;
        if (image != NULL && seen(image, context)) {
            return image;
        }
        if (image != NULL) {
            XDestroyImage(image);
        }
        if (out->seen - from > give_up_ms) {
            return NULL;
        }
        out->missed = started;
        pause_ms(pause);
    }
}

static Display* open_display(const char* program) {
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "%s: cannot open the display\n", program);
    }
    return display;
}

/* ---- first frame ---------------------------------------------------------------------------- */

/* The colour, within this much per channel. */
#define TITLE_TOLERANCE 16
/* Title pixels in the rectangle, counted on every other row and column. */
#define TITLE_PIXELS_WANTED 500
#define FIRST_FRAME_GIVE_UP_MS 20000.0
#define FIRST_FRAME_PAUSE_MS 1.0

static int near(unsigned long value, int target) {
    const int difference = (int)value - target;
    return difference >= -TITLE_TOLERANCE && difference <= TITLE_TOLERANCE;
}

static int shows_colour(XImage* image, const void* context) {
    const int* colour = context;
    long count = 0;
    for (int y = 0; y < image->height; y += 2) {
        for (int x = 0; x < image->width; x += 2) {
            const unsigned long pixel = XGetPixel(image, x, y);
            count += near((pixel & image->red_mask) >> 16, colour[0]) &&
                     near((pixel & image->green_mask) >> 8, colour[1]) && near(pixel & image->blue_mask, colour[2]);
        }
    }
    return count >= TITLE_PIXELS_WANTED;
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

static int first_frame(int argc, char** argv) {
    int colour[3];
    if (argc < 8 || sscanf(argv[1], "%d,%d,%d", &colour[0], &colour[1], &colour[2]) != 3 ||
        (strcmp(argv[6], "key") == 0 && argc != 8) || (strcmp(argv[6], "key") != 0 && strcmp(argv[6], "run") != 0)) {
        return 2;
    }
    const struct rectangle area = {atoi(argv[2]), atoi(argv[3]), (unsigned)atoi(argv[4]), (unsigned)atoi(argv[5])};
    Display* display = open_display(argv[0]);
    if (display == NULL) {
        return 1;
    }
    /* Nothing of the colour may be there before the start. */
    XImage* image = grab(display, area);
    if (image == NULL || shows_colour(image, colour)) {
        fprintf(stderr, "%s: the rectangle cannot be read, or shows the colour already\n", argv[0]);
        return 1;
    }
    XDestroyImage(image);

    pid_t child = -1;
    double started_at = now_ms();
    if (strcmp(argv[6], "run") == 0) {
        child = start(argv + 7);
        if (child < 0) {
            fprintf(stderr, "%s: cannot start %s\n", argv[0], argv[7]);
            return 1;
        }
    } else {
        send_key(display, (Window)strtoul(argv[7], NULL, 0), XK_Return);
        started_at = now_ms();
    }
    struct reading reading;
    image = read_until(display, area, shows_colour, colour, started_at, FIRST_FRAME_GIVE_UP_MS, FIRST_FRAME_PAUSE_MS,
                       &reading);
    if (image != NULL) {
        /* It came after the last read that missed it began and before this one ended. */
        printf("first_frame_ms %.1f after_ms %.1f reads %ld ms_per_read %.2f start_ns %lld\n",
               reading.seen - started_at, reading.missed - started_at, reading.reads,
               (reading.seen - started_at) / (double)reading.reads, as_ns(started_at));
        XDestroyImage(image);
    } else {
        fprintf(stderr, "%s: nothing of the colour within %.0f s\n", argv[0], FIRST_FRAME_GIVE_UP_MS / 1000);
    }
    if (child > 0) {
        kill(child, SIGTERM);
        waitpid(child, NULL, 0);
    }
    XCloseDisplay(display);
    return image != NULL ? 0 : 1;
}

/* ---- key to screen -------------------------------------------------------------------------- */

#define WAIT_MIN_MS 30.0
#define WAIT_SPREAD_MS 100.0
/* The column keeps still over two reads this far apart. */
#define STILL_MS 15.0
#define STILL_ATTEMPTS 100
#define MOVE_GIVE_UP_MS 1000.0
#define MOVE_PAUSE_MS 0.5
/* A pixel belongs to a picture when its channels add up to more than this. */
#define LIT 60
/* Rows read around the paddle: more than it moves in the frames it takes. */
#define MARGIN_ROWS 24
/* Rows from a wall within which the paddle is taken to stand against it. */
#define AT_WALL_ROWS 4

static int lit(XImage* image, int x, int y) {
    const unsigned long pixel = XGetPixel(image, x, y);
    return ((pixel >> 16) & 0xff) + ((pixel >> 8) & 0xff) + (pixel & 0xff) > LIT;
}

/* The first and last rows with a lit pixel; false when there is none. */
static int lit_rows(XImage* image, int* first, int* last) {
    *first = -1;
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            if (lit(image, x, y)) {
                if (*first < 0) {
                    *first = y;
                }
                *last = y;
                break;
            }
        }
    }
    return *first >= 0;
}

/* The row at the middle of the light in rows first to last of the image,
 * which starts at row top of the column: it follows the paddle's moves to a
 * fraction of a pixel, for its picture fades out at both ends. */
static double light_centre(XImage* image, int top, int first, int last) {
    double weight = 0.0, moment = 0.0;
    for (int y = first; y <= last; ++y) {
        for (int x = 0; x < image->width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y - top);
            const double light = (double)(((pixel >> 16) & 0xff) + ((pixel >> 8) & 0xff) + (pixel & 0xff));
            weight += light;
            moment += light * (double)y;
        }
    }
    return weight > 0.0 ? moment / weight : 0.0;
}

/* Rows [*first, *last] of b that differ from rows top.. of a; false when
 * none does. a spans the whole column, b only rows top to top + its height. */
static int changed_rows(XImage* a, XImage* b, int top, int* first, int* last) {
    *first = -1;
    for (int y = 0; y < b->height; ++y) {
        for (int x = 0; x < b->width; ++x) {
            if (XGetPixel(a, x, y + top) != XGetPixel(b, x, y)) {
                if (*first < 0) {
                    *first = y + top;
                }
                *last = y + top;
                break;
            }
        }
    }
    return *first >= 0;
}

/* The column read before the press, and where the band read after it starts. */
struct band {
    XImage* column;
    int top;
};

static int band_changed(XImage* image, const void* context) {
    const struct band* band = context;
    int first, last;
    return changed_rows(band->column, image, band->top, &first, &last);
}

/* The whole column once it keeps still, or NULL. */
static XImage* still_column(Display* display, struct rectangle area) {
    XImage* before = grab(display, area);
    for (int attempt = 0; before != NULL && attempt < STILL_ATTEMPTS; ++attempt) {
        pause_ms(STILL_MS);
        XImage* after = grab(display, area);
        if (after == NULL) {
            break;
        }
        const struct band whole = {before, 0};
        const int still = !band_changed(after, &whole);
        XDestroyImage(before);
        before = after;
        if (still) {
            return before;
        }
    }
    if (before != NULL) {
        XDestroyImage(before);
    }
    return NULL;
}

static int key_to_screen(int argc, char** argv) {
    if (argc != 6 && argc != 8) {
        return 2;
    }
    const int presses = atoi(argv[1]);
    const struct rectangle area = {atoi(argv[2]), atoi(argv[3]), (unsigned)atoi(argv[4]), (unsigned)atoi(argv[5])};
    const char* key_names[2] = {argc == 8 ? argv[6] : "Up", argc == 8 ? argv[7] : "Down"};
    Display* display = open_display(argv[0]);
    if (display == NULL) {
        return 1;
    }
    int event_base, error_base, major, minor;
    if (!XTestQueryExtension(display, &event_base, &error_base, &major, &minor)) {
        fprintf(stderr, "%s: the X server has no XTest\n", argv[0]);
        return 1;
    }
    KeyCode keys[2];
    for (int i = 0; i < 2; ++i) {
        keys[i] = XKeysymToKeycode(display, XStringToKeysym(key_names[i]));
        if (keys[i] == 0) {
            fprintf(stderr, "%s: no key %s on this keyboard\n", argv[0], key_names[i]);
            return 1;
        }
    }

    srand48(1);
    int moved = 0, ball = 0, stale = 0, lost = 0, turn = 0;
    /* The reads while waiting for a move, for the resolution. */
    long reads = 0;
    double reading_ms = 0.0;
    for (int press = 0; press < presses; ++press) {
        pause_ms(WAIT_MIN_MS + WAIT_SPREAD_MS * drand48());
        XImage* column = still_column(display, area);
        int top, bottom;
        if (column == NULL || !lit_rows(column, &top, &bottom)) {
            fprintf(stderr, "%s: the column never keeps still, or shows no paddle\n", argv[0]);
            return 1;
        }
        /* Up moves the paddle towards row 0. */
        int key = turn;
        if (top < AT_WALL_ROWS) {
            key = 1;
        } else if (bottom >= (int)area.height - AT_WALL_ROWS) {
            key = 0;
        }
        turn = 1 - key;
        const int band_top = top - MARGIN_ROWS < 0 ? 0 : top - MARGIN_ROWS;
        const int band_bottom = bottom + MARGIN_ROWS >= (int)area.height ? (int)area.height - 1 : bottom + MARGIN_ROWS;
        const struct rectangle band_area = {area.x, area.y + band_top, area.width,
                                            (unsigned)(band_bottom - band_top + 1)};
        const struct band before = {column, band_top};

        const double pressed = now_ms();
        XTestFakeKeyEvent(display, keys[key], True, CurrentTime);
        XFlush(display);
        struct reading reading;
        XImage* band = read_until(display, band_area, band_changed, &before, pressed, MOVE_GIVE_UP_MS, MOVE_PAUSE_MS,
                                  &reading);
        if (band == NULL) {
            ++lost;
            printf("lost %lld\n", as_ns(pressed));
        } else {
            int first, last;
            changed_rows(column, band, band_top, &first, &last);
            /* The paddle moves by less than the margin before it is seen; a
             * move the other way is the last press's, seen late (the game
             * stood still while the column was read). */
            const double shift = light_centre(band, band_top, band_top, band_bottom) -
                                 light_centre(column, 0, band_top, band_bottom);
            if (first < top - MARGIN_ROWS / 2 || last > bottom + MARGIN_ROWS / 2) {
                ++ball;
                printf("ball %lld\n", as_ns(pressed));
            } else if ((key == 0) != (shift < 0.0)) {
                ++stale;
                printf("stale %lld\n", as_ns(pressed));
            } else {
                ++moved;
                reads += reading.reads;
                reading_ms += reading.seen - pressed;
                printf("moved %lld %lld %lld reads %ld\n", as_ns(pressed), as_ns(reading.missed), as_ns(reading.seen),
                       reading.reads);
            }
            XDestroyImage(band);
        }
        XTestFakeKeyEvent(display, keys[key], False, CurrentTime);
        XFlush(display);
        XDestroyImage(column);
    }
    printf("presses %d moved %d ball %d stale %d lost %d ms_per_read %.3f\n", presses, moved, ball, stale, lost,
           reads > 0 ? reading_ms / (double)reads : 0.0);
    XCloseDisplay(display);
    return 0;
}

int main(int argc, char** argv) {
    const int status = argc < 2                                 ? 2
                       : strcmp(argv[1], "first-frame") == 0   ? first_frame(argc - 1, argv + 1)
                       : strcmp(argv[1], "key-to-screen") == 0 ? key_to_screen(argc - 1, argv + 1)
                                                               : 2;
    if (status == 2) {
        fprintf(stderr,
                "usage: %s first-frame R,G,B X Y W H key BOX\n"
                "       %s first-frame R,G,B X Y W H run [NAME=VALUE...] PROGRAM [ARGUMENT...]\n"
                "       %s key-to-screen PRESSES X Y W H [UP_KEY DOWN_KEY]\n",
                argv[0], argv[0], argv[0]);
    }
    return status;
}
