// The metrics endpoint on libmicrohttpd: one internal thread polls every
// connection, so a client that stalls or trickles holds only its own
// connection, and that only until its idle time runs out or its request is
// overdue, or a newcomer needs its place (see ConnectionSlots).
#include "shell/MetricsServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "engine/MetricsExposition.h"

namespace tarnwatch {
namespace {

// A connection idle this long is closed: a client that connects and says
// nothing holds its slot no longer.
constexpr unsigned kIdleSeconds = 10;
// Everything a request may take: its line and headers must fit, else the
// server answers 431 and closes it, so megabytes of headers cost nothing.
constexpr std::size_t kConnectionMemory = 32 * 1024;
constexpr unsigned kConnections = 64;
constexpr unsigned kConnectionsPerAddress = 8;
// How long a request may take to arrive whole.
constexpr std::int64_t kRequestMs = 5000;
// The server's own bound stays above ours: connections given up take a
// moment to close, and a newcomer must not wait for that.
constexpr unsigned kServerConnections = 2 * kConnections;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The client's address without its port.
std::string AddressKey(const sockaddr* address) {
    if (!address) return "";
    if (address->sa_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(address);
        return std::string(reinterpret_cast<const char*>(&a->sin_addr), sizeof a->sin_addr);
    }
    if (address->sa_family == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(address);
        return std::string(reinterpret_cast<const char*>(&a->sin6_addr), sizeof a->sin6_addr);
    }
    return "?";
}

// Ends connections the server still owns: it sees the end and closes them
// itself. Only called under the slots' lock.
void GiveUp(const std::vector<int>& fds) {
    for (int fd : fds) shutdown(fd, SHUT_RDWR);
}

bool ParsePort(const std::string& text, std::uint16_t& port) {
    if (text.empty() || text.size() > 5) return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value < 1 || value > 65535) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

MHD_Result Send(MHD_Connection* connection, unsigned status, const char* text) {
    MHD_Response* response = MHD_create_response_from_buffer(
        std::strlen(text), const_cast<char*>(text), MHD_RESPMEM_PERSISTENT);
    if (!response) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain; charset=utf-8");
    if (status == MHD_HTTP_METHOD_NOT_ALLOWED) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    }
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

void ReleaseText(void* holder) {
    delete static_cast<std::shared_ptr<const std::string>*>(holder);
}

}  // namespace

// The server's callbacks, on its thread, with the slots kept under their lock.
struct MetricsServer::Callbacks {
    static MHD_Result Admit(void* cls, const sockaddr* address, socklen_t /*length*/) {
        auto* server = static_cast<MetricsServer*>(cls);
        std::vector<int> giveUp;
        std::lock_guard lock(server->slotsMutex_);
        const bool admitted = server->slots_.Admit(AddressKey(address), NowMs(), giveUp);
        GiveUp(giveUp);
        return admitted ? MHD_YES : MHD_NO;
    }
    static void Connection(void* cls, MHD_Connection* connection, void** /*socketContext*/,
                           MHD_ConnectionNotificationCode code) {
        auto* server = static_cast<MetricsServer*>(cls);
        std::lock_guard lock(server->slotsMutex_);
        if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
            server->slots_.Closed(connection);
            return;
        }
        const MHD_ConnectionInfo* fd =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        const MHD_ConnectionInfo* address =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        if (!fd) return;
        server->slots_.Opened(connection, fd->connect_fd,
                              AddressKey(address ? address->client_addr : nullptr), NowMs());
    }
    static void Completed(void* cls, MHD_Connection* connection, void** /*requestState*/,
                          MHD_RequestTerminationCode /*code*/) {
        auto* server = static_cast<MetricsServer*>(cls);
        std::lock_guard lock(server->slotsMutex_);
        server->slots_.Answered(connection, NowMs());
    }
    static void Arrived(MetricsServer* server, MHD_Connection* connection) {
        std::lock_guard lock(server->slotsMutex_);
        server->slots_.RequestArrived(connection);
    }
};

namespace {

MHD_Result Answer(void* cls, MHD_Connection* connection, const char* url, const char* method,
                  const char* /*version*/, const char* /*uploadData*/, std::size_t* /*uploadSize*/,
                  void** /*requestState*/) {
    auto* server = static_cast<MetricsServer*>(cls);
    MetricsServer::Callbacks::Arrived(server, connection);
    // Answered at the first call, before any request body is read: the
    // server then closes the connection instead of reading the body.
    if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 &&
        std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0) {
        return Send(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Only GET and HEAD are served.\n");
    }
    if (std::strcmp(url, "/") == 0) {
        return Send(connection, MHD_HTTP_OK, "Tarnwatch: the metrics are at /metrics\n");
    }
    if (std::strcmp(url, "/metrics") != 0) {
        return Send(connection, MHD_HTTP_NOT_FOUND, "Not found: the metrics are at /metrics\n");
    }
    std::shared_ptr<const std::string> text = server->Current();
    if (!text) return Send(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "No metrics yet.\n");
    // The response keeps its text alive, so a later pass may publish another
    // while this one is still being sent.
    auto* holder = new std::shared_ptr<const std::string>(text);
    MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
        text->size(), const_cast<char*>(text->data()), ReleaseText, holder);
    if (!response) {
        delete holder;
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, kExpositionContentType);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return queued;
}

}  // namespace

bool CloseIfStillHanded(int handed, int kept) {
    struct stat a {};
    struct stat b {};
    if (fstat(handed, &a) != 0 || fstat(kept, &b) != 0) return false;
    // `kept` holds the file open, so no other file can have its identity.
    if (a.st_dev != b.st_dev || a.st_ino != b.st_ino) return false;
    return close(handed) == 0;
}

bool ParseListenAddress(const std::string& text, ListenAddress& out, std::string* error) {
    const auto fail = [&](const char* why) {
        if (error) *error = why;
        return false;
    };
    std::string host = "127.0.0.1";
    std::string portText = text;
    bool v6 = false;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            return fail("an IPv6 address is written [ADDRESS]:PORT");
        }
        host = text.substr(1, close - 1);
        portText = text.substr(close + 2);
        v6 = true;
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
        host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (host.find(':') != std::string::npos) {
            return fail("an IPv6 address is written [ADDRESS]:PORT");
        }
        if (host == "localhost") host = "127.0.0.1";
    }
    std::uint16_t port = 0;
    if (!ParsePort(portText, port)) return fail("the port must be a number from 1 to 65535");
    out = ListenAddress{};
    if (v6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&out.address);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(port);
        if (inet_pton(AF_INET6, host.c_str(), &a->sin6_addr) != 1) {
            return fail("not an IPv6 address");
        }
        out.length = sizeof(sockaddr_in6);
        char shown[INET6_ADDRSTRLEN] = "";
        inet_ntop(AF_INET6, &a->sin6_addr, shown, sizeof shown);
        out.text = "[" + std::string(shown) + "]:" + std::to_string(port);
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&out.address);
        a->sin_family = AF_INET;
        a->sin_port = htons(port);
        if (inet_pton(AF_INET, host.c_str(), &a->sin_addr) != 1) {
            return fail("not an IPv4 address (a name other than localhost is not looked up)");
        }
        out.length = sizeof(sockaddr_in);
        char shown[INET_ADDRSTRLEN] = "";
        inet_ntop(AF_INET, &a->sin_addr, shown, sizeof shown);
        out.text = std::string(shown) + ":" + std::to_string(port);
    }
    return true;
}

MetricsServer::MetricsServer()
    : slots_(
          {.total = kConnections, .perAddress = kConnectionsPerAddress, .requestMs = kRequestMs}) {}

MetricsServer::~MetricsServer() {
    StopSweeping();
    // Joins the server's thread and closes every connection and the listener.
    if (daemon_) MHD_stop_daemon(daemon_);
}

void MetricsServer::Sweep() {
    std::unique_lock lock(slotsMutex_);
    while (sweeping_) {
        std::vector<int> giveUp;
        slots_.Overdue(NowMs(), giveUp);
        GiveUp(giveUp);
        stopSweeping_.wait_for(lock, std::chrono::seconds(1));
    }
}

void MetricsServer::StopSweeping() {
    {
        std::lock_guard lock(slotsMutex_);
        sweeping_ = false;
    }
    stopSweeping_.notify_all();
    if (sweeper_.joinable()) sweeper_.join();
}

bool MetricsServer::Start(const ListenAddress& where, std::string* error) {
    if (daemon_) return true;
    const int family = where.address.ss_family;
    const int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // "[::]" means IPv6 only; IPv4 clients are served with 0.0.0.0.
    if (family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&where.address), where.length) != 0 ||
        listen(fd, 64) != 0) {
        if (error) *error = std::strerror(errno);
        close(fd);
        return false;
    }
    // The server gets a descriptor of its own: whether it closes it when it
    // fails to start is its business, and `fd` stays ours throughout.
    const int handed = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (handed < 0) {
        if (error) *error = std::strerror(errno);
        close(fd);
        return false;
    }
    unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD;
    if (family == AF_INET6) flags |= MHD_USE_IPv6;
    daemon_ = MHD_start_daemon(
        flags, 0, &Callbacks::Admit, this, &Answer, this, MHD_OPTION_LISTEN_SOCKET, handed,
        MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        kConnectionMemory, MHD_OPTION_CONNECTION_LIMIT, kServerConnections,
        MHD_OPTION_NOTIFY_CONNECTION, &Callbacks::Connection, this, MHD_OPTION_NOTIFY_COMPLETED,
        &Callbacks::Completed, this, MHD_OPTION_END);
    if (!daemon_) {
        if (error) *error = "the HTTP server could not start";
        CloseIfStillHanded(handed, fd);
    }
    close(fd);
    if (daemon_) {
        sweeping_ = true;
        try {
            sweeper_ = std::thread([this] { Sweep(); });
        } catch (...) {
            // Without the sweeper, overdue requests still make room for
            // every newcomer.
            sweeping_ = false;
        }
    }
    return daemon_ != nullptr;
}

void MetricsServer::Publish(std::shared_ptr<const std::string> text) {
    std::lock_guard<std::mutex> lock(mutex_);
    text_.swap(text);
    // The old text is released outside the lock, by `text`'s destructor, if
    // no response still holds it.
}

std::shared_ptr<const std::string> MetricsServer::Current() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
}

}  // namespace tarnwatch
