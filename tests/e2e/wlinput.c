// Real keyboard and pointer input for the end-to-end cases on Wayland, through
// the compositor's virtual keyboard and virtual pointer protocols: the input
// reaches the program exactly as a device's would. One process holds both
// devices for a whole case, so a key or button pressed by one command stays
// down until a later one releases it. Commands, one a line on stdin:
//
//   key NAME down|up     NAME an X keysym name (e, Escape, F11, Up)
//   button N down|up     N as X numbers them: 1 left, 2 middle, 3 right
//   motion DX DY         relative motion, in surface units
//   moveto X Y W H       absolute position X, Y on a W by H layout
//
// Each command has been handled by the compositor when the next is read.
#define _GNU_SOURCE
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include "virtual-input-client-protocol.h"

// ---------------------------------------------------------------- state ----

static struct wl_seat *seat;
static struct zwp_virtual_keyboard_manager_v1 *keyboard_manager;
static struct zwlr_virtual_pointer_manager_v1 *pointer_manager;
static struct xkb_keymap *keymap;

// ------------------------------------------------------------ functions ----

static void fail(const char *what) {
    fprintf(stderr, "wlinput: %s\n", what);
    exit(1);
}

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                   uint32_t version) {
    (void)data;
    (void)version;
    if (!strcmp(interface, wl_seat_interface.name) && !seat)
        seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
    else if (!strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name))
        keyboard_manager =
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1);
    else if (!strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name))
        pointer_manager =
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
}

static void globalRemove(void *data, struct wl_registry *registry, uint32_t name) {
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener registry_listener = {global, globalRemove};

// Milliseconds on a monotonic clock, the event time stamps.
static uint32_t now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint32_t)(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

// Hands the compositor the default XKB keymap (from the XKB_DEFAULT_*
// variables, else us), so that key codes mean what that layout says.
static void sendKeymap(struct zwp_virtual_keyboard_v1 *keyboard) {
    struct xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context) fail("no xkb context");
    keymap = xkb_keymap_new_from_names(context, NULL, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) fail("no default keymap");
    char *text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    size_t size = strlen(text) + 1;
    int fd = memfd_create("keymap", MFD_CLOEXEC);
    if (fd < 0 || write(fd, text, size) != (ssize_t)size) fail("cannot pass the keymap");
    zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, (uint32_t)size);
    close(fd);
    free(text);
}

// The evdev code of the key that gives keysym name on its first level, or -1.
static int keyCode(const char *name) {
    xkb_keysym_t sym = xkb_keysym_from_name(name, XKB_KEYSYM_NO_FLAGS);
    if (sym == XKB_KEY_NoSymbol) return -1;
    for (xkb_keycode_t k = xkb_keymap_min_keycode(keymap); k <= xkb_keymap_max_keycode(keymap);
         k++) {
        const xkb_keysym_t *syms;
        if (xkb_keymap_key_get_syms_by_level(keymap, k, 0, 0, &syms) > 0 && syms[0] == sym)
            return (int)k - 8;  // XKB numbers keys from evdev's code plus 8
    }
    return -1;
}

static int buttonCode(int x_button) {
    switch (x_button) {
    case 1: return BTN_LEFT;
    case 2: return BTN_MIDDLE;
    case 3: return BTN_RIGHT;
    default: return -1;
    }
}

// Sends one command line; returns 0, or 1 when the line is not a command.
static int command(const char *line, struct zwp_virtual_keyboard_v1 *keyboard,
                   struct zwlr_virtual_pointer_v1 *pointer) {
    char name[64], state[8];
    int n, x, y, w, h;
    if (sscanf(line, "key %63s %7s", name, state) == 2) {
        int code = keyCode(name);
        if (code < 0) return 1;
        zwp_virtual_keyboard_v1_key(keyboard, now(), (uint32_t)code,
                                    strcmp(state, "down") ? WL_KEYBOARD_KEY_STATE_RELEASED
                                                          : WL_KEYBOARD_KEY_STATE_PRESSED);
    } else if (sscanf(line, "button %d %7s", &n, state) == 2) {
        int code = buttonCode(n);
        if (code < 0) return 1;
        zwlr_virtual_pointer_v1_button(pointer, now(), (uint32_t)code,
                                       strcmp(state, "down") ? WL_POINTER_BUTTON_STATE_RELEASED
                                                             : WL_POINTER_BUTTON_STATE_PRESSED);
        zwlr_virtual_pointer_v1_frame(pointer);
    } else if (sscanf(line, "motion %d %d", &x, &y) == 2) {
        zwlr_virtual_pointer_v1_motion(pointer, now(), wl_fixed_from_int(x), wl_fixed_from_int(y));
        zwlr_virtual_pointer_v1_frame(pointer);
    } else if (sscanf(line, "moveto %d %d %d %d", &x, &y, &w, &h) == 4 && w > 0 && h > 0) {
        zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), (uint32_t)x, (uint32_t)y,
                                                (uint32_t)w, (uint32_t)h);
        zwlr_virtual_pointer_v1_frame(pointer);
    } else {
        return 1;
    }
    return 0;
}

int main(void) {
    struct wl_display *display = wl_display_connect(NULL);
    if (!display) fail("no Wayland display");
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, NULL);
    wl_display_roundtrip(display);
    if (!seat || !keyboard_manager || !pointer_manager)
        fail("the compositor offers no seat, virtual keyboard or virtual pointer");

    struct zwp_virtual_keyboard_v1 *keyboard =
        zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboard_manager, seat);
    struct zwlr_virtual_pointer_v1 *pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointer_manager, seat);
    sendKeymap(keyboard);
    if (wl_display_roundtrip(display) < 0) fail("the compositor refused the devices");

    char line[256];
    int status = 0;
    while (fgets(line, sizeof(line), stdin)) {
        if (command(line, keyboard, pointer)) {
            fprintf(stderr, "wlinput: not a command: %s", line);
            status = 1;
        }
        if (wl_display_roundtrip(display) < 0) fail("lost the compositor");
    }
    zwp_virtual_keyboard_v1_destroy(keyboard);
    zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return status;
}
