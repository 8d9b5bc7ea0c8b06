/* Time from a paddle key to the paddle moving on the screen, as a player
 * meets it: the key is pressed as a keyboard presses it (XTest), at moments
 * that fall anywhere within a frame, and the screen is read until the
 * paddle's column has changed.
 *
 * Usage: zarvo_key_to_screen_probe PRESSES X Y W H [UP_KEY DOWN_KEY]
 *
 * X Y W H is a rectangle of the screen inside the paddle's column, between
 * the walls: nothing else in it moves but the ball, when it passes. Each
 * press waits a random 30 to 130 ms, then for the column to keep still over
 * two reads (no ball, the paddle at rest); finds the paddle's rows; presses
 * the key that moves it away from the nearer wall (the keys taking turns
 * otherwise); reads the rows around the paddle until they change; and
 * releases the key. A change outside the paddle's rows is the ball, and a
 * move the wrong way the last press's; neither is counted. For each press
 * it prints
 *
 *   moved PRESSED MISSED SEEN reads N
 *
 * (on CLOCK_MONOTONIC in ns: the key pressed; the start of the last read
 * that missed the move, or the press; the end of the first that saw it), or
 * "ball PRESSED", "stale PRESSED" or "lost PRESSED" (no change within a
 * second), and at the end "presses P moved M ball B stale S lost L
 * ms_per_read R" (R: from one read to the next while waiting for a move). */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define WAIT_MIN_MS 30.0
#define WAIT_SPREAD_MS 100.0
/* The column keeps still over two reads this far apart. */
#define STILL_MS 15.0
#define STILL_ATTEMPTS 100
#define GIVE_UP_MS 1000.0
/* Between reads while waiting for the move: the reads and the X server's
 * answers would otherwise take a whole core from the game. */
#define READ_PAUSE_MS 0.5
/* A pixel belongs to a picture when its channels add up to more than this. */
#define LIT 60
/* Rows read around the paddle: more than it moves in the frames it takes. */
#define MARGIN_ROWS 24
/* Rows from a wall within which the paddle is taken to stand against it. */
#define AT_WALL_ROWS 4

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

static XImage* grab(Display* display, int x, int y, unsigned width, unsigned height) {
    return XGetImage(display, DefaultRootWindow(display), x, y, width, height, AllPlanes, ZPixmap);
}

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

static int same(XImage* a, XImage* b) {
    int first, last;
    return !changed_rows(a, b, 0, &first, &last);
}

/* The whole column once it keeps still, or NULL. */
static XImage* still_column(Display* display, int x, int y, unsigned width, unsigned height) {
    XImage* before = grab(display, x, y, width, height);
    for (int attempt = 0; before != NULL && attempt < STILL_ATTEMPTS; ++attempt) {
        pause_ms(STILL_MS);
        XImage* after = grab(display, x, y, width, height);
        if (after == NULL) {
            break;
        }
        const int still = same(before, after);
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

int main(int argc, char** argv) {
    if (argc != 6 && argc != 8) {
        fprintf(stderr, "usage: %s PRESSES X Y W H [UP_KEY DOWN_KEY]\n", argv[0]);
        return 2;
    }
    const int presses = atoi(argv[1]);
    const int x = atoi(argv[2]);
    const int y = atoi(argv[3]);
    const unsigned width = (unsigned)atoi(argv[4]);
    const unsigned height = (unsigned)atoi(argv[5]);
    const char* key_names[2] = {argc == 8 ? argv[6] : "Up", argc == 8 ? argv[7] : "Down"};
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "%s: cannot open the display\n", argv[0]);
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
        XImage* column = still_column(display, x, y, width, height);
        int top, bottom;
        if (column == NULL || !lit_rows(column, &top, &bottom)) {
            fprintf(stderr, "%s: the column never keeps still, or shows no paddle\n", argv[0]);
            return 1;
        }
        /* Up moves the paddle towards row 0. */
        int key = turn;
        if (top < AT_WALL_ROWS) {
            key = 1;
        } else if (bottom >= (int)height - AT_WALL_ROWS) {
            key = 0;
        }
        turn = 1 - key;
        const int band_top = top - MARGIN_ROWS < 0 ? 0 : top - MARGIN_ROWS;
        const int band_bottom = bottom + MARGIN_ROWS >= (int)height ? (int)height - 1 : bottom + MARGIN_ROWS;

        const double pressed = now_ms();
        long press_reads = 0;
        XTestFakeKeyEvent(display, keys[key], True, CurrentTime);
        XFlush(display);
        double last_miss = pressed;
        for (;;) {
            const double started = now_ms();
            XImage* band = grab(display, x, y + band_top, width, (unsigned)(band_bottom - band_top + 1));
            const double seen = now_ms();
            ++press_reads;
            int first, last;
            const int changed = band != NULL && changed_rows(column, band, band_top, &first, &last);
            if (changed) {
                /* The paddle moves by less than the margin before it is seen;
                 * a move the other way is the last press's, seen late (the
                 * game stood still while the column was read). */
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
                    reads += press_reads;
                    reading_ms += seen - pressed;
                    printf("moved %lld %lld %lld reads %ld\n", as_ns(pressed), as_ns(last_miss), as_ns(seen),
                           press_reads);
                }
                XDestroyImage(band);
                break;
            }
            if (band != NULL) {
                XDestroyImage(band);
            }
            if (seen - pressed > GIVE_UP_MS) {
                ++lost;
                printf("lost %lld\n", as_ns(pressed));
                break;
            }
            last_miss = started;
            pause_ms(READ_PAUSE_MS);
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
