/* Drives KWin's pointer and keyboard from the Wayland side through its
 * fake-input protocol (org_kde_kwin_fake_input), for the end-to-end tests.
 *
 *   kwin_fake_input
 * reads commands from stdin, one a line, answering each with "ok":
 *     move X Y                absolute pointer motion, in compositor pixels
 *     button N press|release  a pointer button (evdev code, 272 = left)
 *     click                   left button press and release
 *     key N press|release     a keyboard key (evdev code)
 * and prints "ready" first. The fake device lives as long as this program:
 * KWin 5.27 removes it when its client goes, and a motion or click still on
 * its way to XWayland then never reaches it.
 *
 * KWin offers the interface only to a program whose desktop file lists
 * X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input (found by its Exec=). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wayland-client.h>
#include "fake-input-client-protocol.h"

static struct org_kde_kwin_fake_input *fake;

static void on_global(void *data, struct wl_registry *registry, uint32_t name,
                      const char *interface, uint32_t version)
{
    (void)data;
    if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        fake = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
}

static void on_global_remove(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data; (void)registry; (void)name;
}

static const struct wl_registry_listener registry_listener = {on_global, on_global_remove};

int main(void)
{
    struct wl_display *display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "kwin_fake_input: no Wayland display\n");
        return 1;
    }
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, NULL);
    wl_display_roundtrip(display);
    if (!fake) {
        fprintf(stderr, "kwin_fake_input: the compositor does not offer org_kde_kwin_fake_input v4 to this program\n");
        return 3;
    }
    org_kde_kwin_fake_input_authenticate(fake, "belmora tests", "drive the pointer in end-to-end tests");
    wl_display_roundtrip(display);
    printf("ready\n");
    fflush(stdout);

    char line[256];
    while (fgets(line, sizeof line, stdin)) {
        char word[16], state[16];
        double x, y;
        unsigned code;
        if (sscanf(line, "move %lf %lf", &x, &y) == 2) {
            org_kde_kwin_fake_input_pointer_motion_absolute(fake, wl_fixed_from_double(x), wl_fixed_from_double(y));
        } else if (sscanf(line, "button %u %15s", &code, state) == 2) {
            org_kde_kwin_fake_input_button(fake, code, strcmp(state, "press") == 0);
        } else if (sscanf(line, "key %u %15s", &code, state) == 2) {
            org_kde_kwin_fake_input_keyboard_key(fake, code, strcmp(state, "press") == 0);
        } else if (sscanf(line, "%15s", word) == 1 && strcmp(word, "click") == 0) {
            org_kde_kwin_fake_input_button(fake, 272, 1);
            org_kde_kwin_fake_input_button(fake, 272, 0);
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
    wl_display_disconnect(display);
    return 0;
}
