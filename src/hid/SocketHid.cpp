#include "hid/SocketHid.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mx40d {

struct SocketHidBackend::Connection {
    int fd = -1;
    std::string name;
    std::uint16_t productId = 0;
    bool ended = false;
    bool reported = false;  // its removal was reported
    std::vector<std::uint8_t> in;

    ~Connection() {
        if (fd >= 0) ::close(fd);
    }
    // Reads what has arrived; false once the far end has gone.
    bool fill() {
        std::uint8_t buf[4096];
        // A far end that floods is read no further until the reports taken make room.
        while (in.size() < 65536) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) {
                in.insert(in.end(), buf, buf + n);
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                ended = true;
                return false;
            }
            return true;
        }
        return true;
    }
};

namespace {

class SocketDevice final : public HidDevice {
  public:
    explicit SocketDevice(std::shared_ptr<SocketHidBackend::Connection> c) : c_(std::move(c)) {}
    bool attributes(std::uint16_t& vendorId, std::uint16_t& productId) override {
        vendorId = 0x2509;
        productId = c_->productId;
        return !c_->ended;
    }
    bool readReport(std::uint8_t* report) override {
        if (!c_->ended) c_->fill();  // reports that came before the end are still handed over
        if (c_->in.size() < static_cast<std::size_t>(kReportSize)) return false;
        std::memcpy(report, c_->in.data(), kReportSize);
        c_->in.erase(c_->in.begin(), c_->in.begin() + kReportSize);
        return true;
    }
    bool writeReport(const std::uint8_t* report) override {
        if (c_->ended) return false;
        std::size_t done = 0;
        while (done < static_cast<std::size_t>(kReportSize)) {
            const ssize_t n =
                ::send(c_->fd, report + done, kReportSize - done, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // The far end reads nothing: the report is lost as a HID write would be, and
                // the protocol's retry takes over. The GUI thread never waits on it. Half a
                // report sent would leave the stream out of step: that connection ends.
                if (done > 0) c_->ended = true;
                return false;
            } else {
                c_->ended = true;
                return false;
            }
        }
        return true;
    }

  private:
    std::shared_ptr<SocketHidBackend::Connection> c_;
};

}  // namespace

SocketHidBackend::~SocketHidBackend() {
    for (const Listener& l : listeners_) {
        ::close(l.fd);
        ::unlink(l.path.c_str());
    }
}

bool SocketHidBackend::listen(const std::string& socketPath, std::uint16_t productId,
                              std::string& error) {
    sockaddr_un addr{};
    if (socketPath.empty() || socketPath.size() >= sizeof addr.sun_path) {
        error = "socket path too long or empty";
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, socketPath.data(), socketPath.size());
    ::unlink(socketPath.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return false;
    }
    listeners_.push_back({socketPath, productId, fd});
    return true;
}

void SocketHidBackend::poll(const std::function<void(const HotplugEvent&)>& sink) {
    for (Listener& l : listeners_) {
        for (;;) {
            const int fd = ::accept4(l.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) break;
            auto c = std::make_shared<Connection>();
            c->fd = fd;
            c->productId = l.productId;
            c->name = "socket:" + l.path + "#" + std::to_string(l.next++);
            connections_.push_back(c);
            sink({HotplugEvent::Kind::Arrival, c->name});
        }
    }
    for (auto it = connections_.begin(); it != connections_.end();) {
        Connection& c = **it;
        if (!c.ended) c.fill();
        if (c.ended) {
            sink({HotplugEvent::Kind::Removal, c.name});
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

std::vector<HidInterfaceInfo> SocketHidBackend::enumerate() {
    std::vector<HidInterfaceInfo> out;
    for (const auto& c : connections_)
        if (!c->ended) out.push_back({c->name, 0x2509, c->productId});
    return out;
}

std::unique_ptr<HidDevice> SocketHidBackend::open(const std::string& path) {
    for (const auto& c : connections_)
        if (c->name == path && !c->ended) return std::make_unique<SocketDevice>(c);
    return nullptr;
}

std::vector<HidInterfaceInfo> CompositeHidBackend::enumerate() {
    std::vector<HidInterfaceInfo> out;
    for (HidBackend* b : backends_) {
        auto part = b->enumerate();
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

std::unique_ptr<HidDevice> CompositeHidBackend::open(const std::string& path) {
    for (HidBackend* b : backends_)
        if (auto d = b->open(path)) return d;
    return nullptr;
}

void CompositeHidBackend::poll(const std::function<void(const HotplugEvent&)>& sink) {
    for (HotplugSource* s : sources_)
        s->poll(sink);
}

}  // namespace mx40d
