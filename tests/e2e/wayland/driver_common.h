/* What the pointer drivers of the Wayland runs share: the connection and its
 * registry, and the loop that reads commands from stdin, one a line,
 * answering each with "ok" once the compositor has handled it (or with
 * "error: ..."), after a first "ready":
 *     move X Y                absolute pointer motion, in compositor pixels
 *     button N press|release  a pointer button (evdev code, 272 = left)
 *     click                   left button press and release
 *     key N press|release     a keyboard key (evdev code), where the driver has keys
 * A driver gives the registry listener that binds its globals and the
 * requests that carry out each command. */
#pragma once
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wayland-client.h>

struct driver_requests {
    void (*move)(double x, double y);
    void (*button)(unsigned code, int pressed);
    void (*key)(unsigned code, int pressed); /* NULL: no keyboard */
};

static void driver_global_remove(void* data, struct wl_registry* registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}

/* Connects to $WAYLAND_DISPLAY and binds the globals through on_global;
 * exits with status 1 when there is no compositor. */
static struct wl_display* driver_connect(const char* program,
                                         void (*on_global)(void*, struct wl_registry*, uint32_t, const char*,
                                                           uint32_t))
{
    static struct wl_registry_listener listener;
    listener.global = on_global;
    listener.global_remove = driver_global_remove;
    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "%s: no Wayland display\n", program);
        exit(1);
    }
    wl_registry_add_listener(wl_display_get_registry(display), &listener, NULL);
    wl_display_roundtrip(display);
    return display;
}

/* Says "ready", then carries out the commands on stdin until it ends (0),
 * or until the compositor closes the connection (1). */
static int driver_serve(struct wl_display* display, const struct driver_requests* requests)
{
    wl_display_roundtrip(display);
    printf("ready\n");
    fflush(stdout);
    char line[256];
    while (fgets(line, sizeof line, stdin)) {
        char word[16], state[16];
        double x, y;
        unsigned code;
        if (sscanf(line, "move %lf %lf", &x, &y) == 2) {
            requests->move(x, y);
        } else if (sscanf(line, "button %u %15s", &code, state) == 2) {
            requests->button(code, strcmp(state, "press") == 0);
        } else if (requests->key && sscanf(line, "key %u %15s", &code, state) == 2) {
            requests->key(code, strcmp(state, "press") == 0);
        } else if (sscanf(line, "%15s", word) == 1 && strcmp(word, "click") == 0) {
            requests->button(272, 1);
            requests->button(272, 0);
        } else {
            printf("error: bad command %s", line);
            fflush(stdout);
            continue;
        }
        /* The requests are handled before the compositor answers the round trip. */
        if (wl_display_roundtrip(display) < 0) {
            printf("error: the compositor closed the connection\n");
            return 1;
        }
        printf("ok\n");
        fflush(stdout);
    }
    return 0;
}
