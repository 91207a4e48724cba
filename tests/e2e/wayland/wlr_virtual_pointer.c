/* Drives a wlroots compositor's pointer (sway) from the Wayland side through
 * the virtual-pointer protocol, for the end-to-end tests.
 *
 *   wlr_virtual_pointer WIDTH HEIGHT
 * then takes the commands of driver_common.h (move, button, click; no keys)
 * on stdin, positions being pixels of a WIDTH x HEIGHT layout. The virtual
 * pointer lives as long as this program: a pointer that comes and goes for
 * each motion takes the seat's pointer away from XWayland each time, and
 * sway 1.7 then crashes. */
#include <time.h>
#include "driver_common.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

static struct zwlr_virtual_pointer_manager_v1 *manager;
static struct wl_seat *seat;
static struct zwlr_virtual_pointer_v1 *pointer;
static uint32_t width, height;

static void on_global(void *data, struct wl_registry *registry, uint32_t name,
                      const char *interface, uint32_t version)
{
    (void)data; (void)version;
    if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
    else if (strcmp(interface, wl_seat_interface.name) == 0 && !seat)
        seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
}

static uint32_t now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint32_t)(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

static void move(double x, double y)
{
    zwlr_virtual_pointer_v1_motion_absolute(pointer, now_ms(), (uint32_t)x, (uint32_t)y, width, height);
    zwlr_virtual_pointer_v1_frame(pointer);
}

static void button(unsigned code, int pressed)
{
    zwlr_virtual_pointer_v1_button(pointer, now_ms(), code, pressed);
    zwlr_virtual_pointer_v1_frame(pointer);
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: wlr_virtual_pointer WIDTH HEIGHT\n");
        return 2;
    }
    width = (uint32_t)atoi(argv[1]);
    height = (uint32_t)atoi(argv[2]);
    struct wl_display *display = driver_connect("wlr_virtual_pointer", on_global);
    if (!manager) {
        fprintf(stderr, "wlr_virtual_pointer: the compositor offers no zwlr_virtual_pointer_manager_v1\n");
        return 3;
    }
    pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    const struct driver_requests requests = {move, button, NULL};
    const int status = driver_serve(display, &requests);
    zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return status;
}
