// A notification area of the XEmbed kind, as panels of the X11 desktops
// host icons: it owns the tray selection of screen 0, docks every icon that
// asks, and says on standard output where each docked icon sits on the
// screen ("docked X Y", the icon's centre), and "undocked" when one leaves.
// It ends on SIGTERM or when standard input closes.
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

xcb_atom_t Atom(xcb_connection_t* c, const std::string& name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.c_str()), nullptr);
    const xcb_atom_t atom = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    free(r);
    return atom;
}

void SendClientMessage(xcb_connection_t* c, xcb_window_t to, xcb_atom_t type,
                       const uint32_t (&data)[5], uint32_t mask) {
    xcb_client_message_event_t e{};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = to;
    e.type = type;
    std::memcpy(e.data.data32, data, sizeof data);
    xcb_send_event(c, 0, to, mask, reinterpret_cast<const char*>(&e));
}

}  // namespace

int main() {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) return 1;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    constexpr uint16_t kIcon = 24;
    // Bottom right, where no program window lands.
    const int16_t x = static_cast<int16_t>(screen->width_in_pixels - 4 * kIcon);
    const int16_t y = static_cast<int16_t>(screen->height_in_pixels - kIcon);
    const xcb_window_t tray = xcb_generate_id(c);
    const uint32_t values[] = {
        screen->black_pixel, 1,
        XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, tray, screen->root, x, y, 4 * kIcon, kIcon, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_map_window(c, tray);
    const xcb_atom_t selection = Atom(c, "_NET_SYSTEM_TRAY_S" + std::to_string(screenNumber));
    const xcb_atom_t opcode = Atom(c, "_NET_SYSTEM_TRAY_OPCODE");
    const xcb_atom_t xembed = Atom(c, "_XEMBED");
    xcb_set_selection_owner(c, tray, selection, XCB_CURRENT_TIME);
    // Programs already running learn of the new tray from this message.
    SendClientMessage(c, screen->root, Atom(c, "MANAGER"),
                      {XCB_CURRENT_TIME, selection, tray, 0, 0}, XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    xcb_flush(c);
    std::printf("ready\n");
    std::fflush(stdout);

    xcb_window_t icon = XCB_WINDOW_NONE;
    pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {0, POLLIN, 0}};
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_CLIENT_MESSAGE) {
                auto* m = reinterpret_cast<xcb_client_message_event_t*>(event);
                // SYSTEM_TRAY_REQUEST_DOCK is opcode 0.
                if (m->type == opcode && m->data.data32[1] == 0) {
                    icon = m->data.data32[2];
                    xcb_reparent_window(c, icon, tray, 0, 0);
                    const uint32_t size[] = {kIcon, kIcon};
                    xcb_configure_window(c, icon,
                                         XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
                    xcb_map_window(c, icon);
                    // XEMBED_EMBEDDED_NOTIFY (0), protocol version 0.
                    SendClientMessage(c, icon, xembed, {XCB_CURRENT_TIME, 0, 0, tray, 0},
                                      XCB_EVENT_MASK_NO_EVENT);
                    xcb_flush(c);
                    std::printf("docked %d %d\n", x + kIcon / 2, y + kIcon / 2);
                    std::fflush(stdout);
                }
            } else if (type == XCB_DESTROY_NOTIFY || type == XCB_UNMAP_NOTIFY) {
                const xcb_window_t gone =
                    type == XCB_DESTROY_NOTIFY
                        ? reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window
                        : reinterpret_cast<xcb_unmap_notify_event_t*>(event)->window;
                if (gone == icon && icon != XCB_WINDOW_NONE) {
                    icon = XCB_WINDOW_NONE;
                    std::printf("undocked\n");
                    std::fflush(stdout);
                }
            }
            free(event);
        }
        if (xcb_connection_has_error(c)) return 1;
        if (poll(fds, 2, -1) < 0) continue;
        char buf[64];
        if (fds[1].revents && read(0, buf, sizeof buf) <= 0) break;
    }
    xcb_disconnect(c);
    return 0;
}
