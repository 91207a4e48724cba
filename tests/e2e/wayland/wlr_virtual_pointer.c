/* Drives a wlroots compositor's pointer (sway) from the Wayland side through
 * the virtual-pointer protocol, for the end-to-end tests.
 *
 *   wlr_virtual_pointer WIDTH HEIGHT
 * then reads commands from stdin, one a line, answering each with "ok":
 *     move X Y               absolute motion, in pixels of a WIDTH x HEIGHT layout
 *     button N press|release a pointer button (evdev code, 272 = left)
 *     click                  left button press and release
 * and prints "ready" first. The virtual pointer lives as long as this program:
 * a pointer that comes and goes for each motion takes the seat's pointer away
 * from XWayland each time, and sway 1.7 then crashes. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

static struct zwlr_virtual_pointer_manager_v1 *manager;
static struct wl_seat *seat;

static void on_global(void *data, struct wl_registry *registry, uint32_t name,
                      const char *interface, uint32_t version)
{
    (void)data; (void)version;
    if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
    else if (strcmp(interface, wl_seat_interface.name) == 0 && !seat)
        seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
}

static void on_global_remove(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data; (void)registry; (void)name;
}

static const struct wl_registry_listener registry_listener = {on_global, on_global_remove};

static uint32_t now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint32_t)(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: wlr_virtual_pointer WIDTH HEIGHT\n");
        return 2;
    }
    uint32_t width = (uint32_t)atoi(argv[1]), height = (uint32_t)atoi(argv[2]);
    struct wl_display *display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "wlr_virtual_pointer: no Wayland display\n");
        return 1;
    }
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, NULL);
    wl_display_roundtrip(display);
    if (!manager) {
        fprintf(stderr, "wlr_virtual_pointer: the compositor offers no zwlr_virtual_pointer_manager_v1\n");
        return 3;
    }
    struct zwlr_virtual_pointer_v1 *pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    wl_display_roundtrip(display);
    printf("ready\n");
    fflush(stdout);

    char line[256];
    while (fgets(line, sizeof line, stdin)) {
        char word[16], state[16];
        unsigned x, y, button;
        if (sscanf(line, "move %u %u", &x, &y) == 2) {
            zwlr_virtual_pointer_v1_motion_absolute(pointer, now_ms(), x, y, width, height);
            zwlr_virtual_pointer_v1_frame(pointer);
        } else if (sscanf(line, "button %u %15s", &button, state) == 2) {
            zwlr_virtual_pointer_v1_button(pointer, now_ms(), button, strcmp(state, "press") == 0);
            zwlr_virtual_pointer_v1_frame(pointer);
        } else if (sscanf(line, "%15s", word) == 1 && strcmp(word, "click") == 0) {
            zwlr_virtual_pointer_v1_button(pointer, now_ms(), 272, 1);
            zwlr_virtual_pointer_v1_frame(pointer);
            zwlr_virtual_pointer_v1_button(pointer, now_ms(), 272, 0);
            zwlr_virtual_pointer_v1_frame(pointer);
        } else {
            printf("error: bad command %s", line);
            fflush(stdout);
            continue;
        }
        if (wl_display_roundtrip(display) < 0) {
            printf("error: the compositor closed the connection\n");
            return 1;
        }
        printf("ok\n");
        fflush(stdout);
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
