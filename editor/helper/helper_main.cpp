// The editor helper: a GTK process the view starts with the host's window id
// and the UI root, drawing the page inside the host's window and passing
// texts between the page and the socket it finds on descriptor 3.
//   tambro-editor-helper <parent window id> <ui root>
#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "helper_embed.h"
#include "helper_page.h"

namespace {

using kelvo::helper::Page;

constexpr int SOCKET_FD = 3;
constexpr std::string_view CONTROL_PREFIX = R"({"type":"kelvo.helper.)";

struct Helper {
    GtkWidget* window = nullptr;
    Page* page = nullptr;
    std::string incoming;
};

// The view has gone (or the host with it): nothing more to show.
[[noreturn]] void exitNow() {
    _exit(0);
}

void sendLine(std::string_view text) {
    std::string line(text);
    line.push_back('\n');
    for (size_t sent = 0; sent < line.size();) {
        const ssize_t n = ::send(SOCKET_FD, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) exitNow();
        sent += static_cast<size_t>(n);
    }
}

// The number after "\"<key>\":" in a control line, or -1.
long controlNumber(const std::string& line, const char* key) {
    const std::string tag = std::string("\"") + key + "\":";
    const size_t at = line.find(tag);
    return at == std::string::npos ? -1 : std::strtol(line.c_str() + at + tag.size(), nullptr, 10);
}

void handleLine(Helper& helper, const std::string& line) {
    if (line.compare(0, CONTROL_PREFIX.size(), CONTROL_PREFIX) != 0)
        return helper.page->deliver(line);
    if (line.find(R"("kelvo.helper.resize")") != std::string::npos)
        kelvo::helper::resizeEmbedded(helper.window, static_cast<int>(controlNumber(line, "width")),
                                      static_cast<int>(controlNumber(line, "height")));
}

gboolean onSocket(gint fd, GIOCondition, gpointer data) {
    Helper& helper = *static_cast<Helper*>(data);
    char buffer[65536];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) return G_SOURCE_CONTINUE;
    if (got <= 0) exitNow();
    helper.incoming.append(buffer, static_cast<size_t>(got));
    size_t start = 0;
    for (size_t newline; (newline = helper.incoming.find('\n', start)) != std::string::npos;
         start = newline + 1)
        handleLine(helper, helper.incoming.substr(start, newline - start));
    helper.incoming.erase(0, start);
    return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <parent window id> <ui root>\n", argv[0]);
        return 2;
    }
    char* end = nullptr;
    const unsigned long parent = std::strtoul(argv[1], &end, 10);
    if (*end != '\0' || parent == 0) return 2;
    // An X11 window id means nothing to any other backend.
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(nullptr, nullptr)) return 1;
    // Never popped: with the default handler an X error while the host
    // destroys its window under us would end the helper with a message.
    gdk_x11_display_error_trap_push(gdk_display_get_default());

    Helper helper;
    helper.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    Page page(argv[2], [](std::string_view text) { sendLine(text); });
    helper.page = &page;
    gtk_container_add(GTK_CONTAINER(helper.window), page.widget());
    if (!kelvo::helper::embedInParent(helper.window, parent)) return 1;
    g_unix_fd_add(SOCKET_FD, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), &onSocket,
                  &helper);
    gtk_widget_show_all(helper.window);
    page.load();
    gtk_main();
    return 0;
}
