/* Time from the last start-up answer to the first frame on the screen, as
 * seen from outside the program. Sends Return to the message box BOX (the
 * last question, whose default button is the answer), then reads the screen
 * rectangle X Y W H over and over until it shows the light blue of the title
 * splash, and prints the time from the key's release to the first read that
 * showed it, with the mean time one read took (the resolution).
 *
 * Usage: zarvo_first_frame_probe BOX X Y W H */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

/* The title's light blue (103, 196, 255), within this much per channel. */
#define TITLE_TOLERANCE 16
/* Title pixels in the rectangle, counted on every other row and column. */
#define TITLE_PIXELS_WANTED 500
#define GIVE_UP_SECONDS 20.0

static double now_seconds(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

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
            if (near(red, 103) && near(green, 196) && near(blue, 255)) {
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

int main(int argc, char** argv) {
    if (argc != 6) {
        fprintf(stderr, "usage: %s BOX X Y W H\n", argv[0]);
        return 2;
    }
    const Window box = (Window)strtoul(argv[1], NULL, 0);
    const int x = atoi(argv[2]);
    const int y = atoi(argv[3]);
    const unsigned width = (unsigned)atoi(argv[4]);
    const unsigned height = (unsigned)atoi(argv[5]);
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "%s: cannot open the display\n", argv[0]);
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    /* Nothing of the title may be there before the answer. */
    XImage* image = XGetImage(display, root, x, y, width, height, AllPlanes, ZPixmap);
    if (image == NULL || title_pixels(image) >= TITLE_PIXELS_WANTED) {
        fprintf(stderr, "%s: the rectangle cannot be read, or shows the title already\n", argv[0]);
        return 1;
    }
    XDestroyImage(image);

    send_key(display, box, XK_Return);
    const double answered = now_seconds();
    double last_without = answered;  /* when the last read that missed it began */
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
            printf("first_frame_ms %.1f after_ms %.1f reads %ld ms_per_read %.2f\n", (seen - answered) * 1000.0,
                   (last_without - answered) * 1000.0, reads, (seen - answered) * 1000.0 / (double)reads);
            break;
        }
        last_without = started;
        if (seen - answered > GIVE_UP_SECONDS) {
            fprintf(stderr, "%s: no title within %.0f s\n", argv[0], GIVE_UP_SECONDS);
            XCloseDisplay(display);
            return 1;
        }
    }
    XCloseDisplay(display);
    return 0;
}
