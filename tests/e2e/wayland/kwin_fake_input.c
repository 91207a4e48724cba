/* Drives KWin's pointer and keyboard from the Wayland side through its
 * fake-input protocol (org_kde_kwin_fake_input), for the end-to-end tests.
 *
 *   kwin_fake_input
 * then takes the commands of driver_common.h (move, button, click, key) on
 * stdin. The fake device lives as long as this program: KWin 5.27 removes it
 * when its client goes, and a motion or click still on its way to XWayland
 * then never reaches it.
 *
 * KWin offers the interface only to a program whose desktop file lists
 * X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input (found by its Exec=). */
#include "driver_common.h"
#include "fake-input-client-protocol.h"

static struct org_kde_kwin_fake_input *fake;

static void on_global(void *data, struct wl_registry *registry, uint32_t name,
                      const char *interface, uint32_t version)
{
    (void)data;
    if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        fake = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
}

static void move(double x, double y)
{
    org_kde_kwin_fake_input_pointer_motion_absolute(fake, wl_fixed_from_double(x), wl_fixed_from_double(y));
}

static void button(unsigned code, int pressed) { org_kde_kwin_fake_input_button(fake, code, pressed); }

static void key(unsigned code, int pressed) { org_kde_kwin_fake_input_keyboard_key(fake, code, pressed); }

int main(void)
{
    struct wl_display *display = driver_connect("kwin_fake_input", on_global);
    if (!fake) {
        fprintf(stderr, "kwin_fake_input: the compositor does not offer org_kde_kwin_fake_input v4 to this program\n");
        return 3;
    }
    org_kde_kwin_fake_input_authenticate(fake, "belmora tests", "drive the pointer in end-to-end tests");
    const struct driver_requests requests = {move, button, key};
    const int status = driver_serve(display, &requests);
    wl_display_disconnect(display);
    return status;
}
