// vario-dataserver: a cockpit data server for development, and a bridge from simulators.
// Answers each NUL-terminated request "offset,size,code" with a number text and a NUL;
// offset 2114 (the vertical speed) follows the chosen value feed. Serves many clients at
// once from one loop over non-blocking sockets, so that no client can hold up another.
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/sockets.h"
#include "tools/common/value_feed.h"

namespace {

constexpr int32_t kVerticalSpeedOffset = 2114;

// Bounds on what one client can make the server hold.
constexpr size_t kMaxPendingRequestBytes = 4096;  // a request without its NUL by then is none
constexpr size_t kMaxQueuedReplyParts = 256;      // replies held back by --late or --split
constexpr size_t kMaxClients = 60;                // within one WinSock wait set

const char* const kHelp =
    "Usage: vario-dataserver [options]\n"
    "Development cockpit data server for ORVEXVario's network mode, and a bridge from a\n"
    "flight simulator to it. Listens on a TCP port and answers each request\n"
    "\"offset,size,code\" + NUL with a number text + NUL: for offset 2114 the vertical\n"
    "speed in whole metres per minute (descent positive), for any other offset 0. Serves\n"
    "many clients at once.\n"
    "\n"
    "Source of the vertical speed (default: the built-in flight profile, repeating):\n"
    "%s"
    "\n"
    "Options:\n"
    "  --port N           TCP port (default 8000; 0 picks a free one)\n"
    "  --bind ADDRESS     address to listen on (default 0.0.0.0, every interface)\n"
    "  --port-file FILE   write the port listened on to FILE once listening\n"
    "  --raw TEXT         answer every request with exactly TEXT; escapes \\0 \\r \\n \\t\n"
    "                     \\\\ and \\xHH are decoded, and no NUL is added\n"
    "  --silent           read requests but never answer\n"
    "  --close-after N    close the connection after N replies (0: at the first request)\n"
    "  --late SECONDS     wait this long before each reply\n"
    "  --split            send each reply in two parts, 200 ms apart\n"
    "  --listen-delay S   start listening only after S seconds\n"
    "  --log              print each request received on standard output\n"
    "  --help             this text\n"
    "\n"
    "The line \"listening on port N\" is printed once the server accepts connections.\n"
    "A client whose request runs past 4096 bytes without a NUL, or that does not read its\n"
    "replies, is disconnected. While a simulator source is stale, each client's connection\n"
    "is closed at its next request and no new connection is taken.\n";

struct Options {
    uint16_t port = 8000;
    uint32_t bind_address_net = 0;
    std::string port_file;
    FeedChoice feed;
    std::optional<std::string> raw_reply;
    bool silent = false;
    long close_after = -1;
    double late_s = 0;
    bool split = false;
    double listen_delay_s = 0;
    bool log = false;
};

[[noreturn]] void Usage(const std::string& problem) {
    std::fprintf(stderr, "vario-dataserver: %s\nTry --help.\n", problem.c_str());
    std::exit(2);
}

double NumberArgument(const std::string& option, const char* text) {
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (*text == '\0' || *end != '\0' || value < 0) Usage(option + " needs a number of 0 or more");
    return value;
}

std::string DecodeEscapes(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        char c = text[++i];
        switch (c) {
            case '0': out.push_back('\0'); break;
            case 'r': out.push_back('\r'); break;
            case 'n': out.push_back('\n'); break;
            case 't': out.push_back('\t'); break;
            case 'x':
                if (i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                    std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
                    out.push_back(static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16)));
                    i += 2;
                    break;
                }
                Usage("\\x needs two hexadecimal digits in --raw");
            default: out.push_back(c); break;
        }
    }
    return out;
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) Usage(option + " needs a value");
            return argv[++i];
        };
        std::string feed_error;
        if (TakeFeedOption(argc, argv, i, options.feed, feed_error)) {
            if (!feed_error.empty()) Usage(feed_error);
        } else if (option == "--help" || option == "-h") {
            std::printf(kHelp, kFeedOptionsHelp);
            std::exit(0);
        } else if (option == "--port") {
            double port = NumberArgument(option, value());
            if (port > 65535 || port != static_cast<int>(port)) Usage("--port needs 0 to 65535");
            options.port = static_cast<uint16_t>(port);
        } else if (option == "--bind") {
            options.bind_address_net = platform::ParseIpv4Text(value());
            if (options.bind_address_net == platform::kNoIpv4Address) Usage("--bind needs a dotted IPv4 address");
        } else if (option == "--port-file") {
            options.port_file = value();
        } else if (option == "--raw") {
            options.raw_reply = DecodeEscapes(value());
        } else if (option == "--silent") {
            options.silent = true;
        } else if (option == "--close-after") {
            options.close_after = static_cast<long>(NumberArgument(option, value()));
        } else if (option == "--late") {
            options.late_s = NumberArgument(option, value());
        } else if (option == "--split") {
            options.split = true;
        } else if (option == "--listen-delay") {
            options.listen_delay_s = NumberArgument(option, value());
        } else if (option == "--log") {
            options.log = true;
        } else {
            Usage("unknown option " + option);
        }
    }
    return options;
}

void SleepSeconds(double seconds) {
    if (seconds > 0) platform::SleepMilliseconds(static_cast<uint32_t>(seconds * 1000 + 0.5));
}

volatile std::sig_atomic_t stop_requested = 0;
extern "C" void RequestStop(int) { stop_requested = 1; }

// One gauge (or any client) and what the server holds for it.
struct Client {
    struct ReplyPart {
        FeedClock::time_point due;
        std::string bytes;
        bool close_after = false;  // the last reply that --close-after allows
    };

    platform::SocketHandle handle = platform::kNoSocket;
    std::string pending;  // request bytes not yet ended by a NUL
    std::deque<ReplyPart> outbox;
    long replies = 0;
    bool finished = false;  // takes no more requests (the connection is to end)
    bool drop = false;      // to be closed at the end of this pass
};

class Server {
public:
    Server(const Options& options, ValueFeed& feed) : options_(options), feed_(feed), start_(FeedClock::now()) {}

    // Serves until told to stop; closes every connection then. While the feed is stale
    // the server does not listen either: a gauge then stays at its connecting state
    // instead of connecting only to be closed at its first request.
    void Run(platform::SocketHandle listener, uint16_t port) {
        while (!stop_requested) {
            bool live = options_.raw_reply || feed_.Read(Seconds()).live;
            if (!live && listener != platform::kNoSocket) {
                platform::CloseSocket(listener);
                listener = platform::kNoSocket;
            } else if (live && listener == platform::kNoSocket) {
                listener = Listen(options_.bind_address_net, port);
            }
            std::vector<platform::SocketWait> waits(1 + clients_.size());
            waits[0].handle = listener;
            waits[0].want_read = listener != platform::kNoSocket;
            for (size_t i = 0; i < clients_.size(); ++i) {
                waits[i + 1].handle = clients_[i].handle;
                waits[i + 1].want_read = true;
            }
            size_t first = listener != platform::kNoSocket ? 0 : 1;
            platform::WaitSocketsReady(waits.data() + first, waits.size() - first, WaitMicroseconds());
            if (waits[0].readable) AcceptWaiting(listener);
            for (size_t i = 0; i < clients_.size() && i + 1 < waits.size(); ++i)
                if (waits[i + 1].readable) ReadRequests(clients_[i]);
            for (Client& client : clients_) SendDueReplies(client);
            for (size_t i = clients_.size(); i-- > 0;) {
                if (!clients_[i].drop) continue;
                platform::ShutdownSocket(clients_[i].handle);
                platform::CloseSocket(clients_[i].handle);
                clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        for (Client& client : clients_) platform::CloseSocket(client.handle);
        clients_.clear();
        if (listener != platform::kNoSocket) platform::CloseSocket(listener);
    }

    // A non-blocking listening socket, or kNoSocket.
    static platform::SocketHandle Listen(uint32_t address_net, uint16_t port) {
        platform::SocketHandle listener = platform::ListenTcp(address_net, port, 16);
        if (listener != platform::kNoSocket && platform::SetSocketNonBlocking(listener) != 0) {
            platform::CloseSocket(listener);
            return platform::kNoSocket;
        }
        return listener;
    }

private:
    double Seconds() const { return std::chrono::duration<double>(FeedClock::now() - start_).count(); }

    // Until the next reply part is due; a tenth of a second at most, to see a stop soon.
    int64_t WaitMicroseconds() const {
        auto wait = std::chrono::microseconds(100000);
        auto now = FeedClock::now();
        for (const Client& client : clients_) {
            if (client.outbox.empty()) continue;
            auto until = std::chrono::duration_cast<std::chrono::microseconds>(client.outbox.front().due - now);
            wait = std::max(std::chrono::microseconds(0), std::min(wait, until));
        }
        return wait.count();
    }

    void AcceptWaiting(platform::SocketHandle listener) {
        for (;;) {
            platform::SocketHandle handle = platform::AcceptConnection(listener);
            if (handle == platform::kNoSocket) return;
            if (clients_.size() >= kMaxClients || platform::SetSocketNonBlocking(handle) != 0) {
                platform::CloseSocket(handle);
                continue;
            }
            Client client;
            client.handle = handle;
            clients_.push_back(std::move(client));
        }
    }

    void ReadRequests(Client& client) {
        char chunk[4096];
        int got = platform::ReceiveBytes(client.handle, reinterpret_cast<uint8_t*>(chunk), sizeof chunk);
        if (got <= 0) {
            client.drop = true;
            return;
        }
        client.pending.append(chunk, static_cast<size_t>(got));
        size_t nul;
        while (!client.drop && (nul = client.pending.find('\0')) != std::string::npos) {
            std::string request = client.pending.substr(0, nul);
            client.pending.erase(0, nul + 1);
            Answer(client, request);
        }
        if (client.pending.size() > kMaxPendingRequestBytes) client.drop = true;
    }

    void Answer(Client& client, const std::string& request) {
        if (options_.log) {
            std::printf("request: %s\n", request.c_str());
            std::fflush(stdout);
        }
        if (client.finished) return;
        if (options_.close_after == 0) {
            client.drop = true;
            return;
        }
        if (options_.silent) return;
        std::string reply;
        if (options_.raw_reply) {
            reply = *options_.raw_reply;
        } else {
            FeedReading reading = feed_.Read(Seconds());
            // No data: the client is told by losing its connection, never by an old value.
            if (!reading.live) {
                client.drop = true;
                return;
            }
            reply = ValueText(request, reading) + std::string(1, '\0');
        }
        auto due = FeedClock::now() +
                   std::chrono::duration_cast<FeedClock::duration>(std::chrono::duration<double>(options_.late_s));
        if (!client.outbox.empty()) due = std::max(due, client.outbox.back().due);
        ++client.replies;
        bool last = options_.close_after > 0 && client.replies >= options_.close_after;
        if (options_.split && reply.size() > 1) {
            size_t half = reply.size() / 2;
            client.outbox.push_back({due, reply.substr(0, half), false});
            client.outbox.push_back({due + std::chrono::milliseconds(200), reply.substr(half), last});
        } else {
            client.outbox.push_back({due, reply, last});
        }
        client.finished = last;
        if (client.outbox.size() > kMaxQueuedReplyParts) client.drop = true;
    }

    // A reply that the socket cannot take whole means a client that does not read: it is
    // dropped rather than waited for.
    void SendDueReplies(Client& client) {
        auto now = FeedClock::now();
        while (!client.drop && !client.outbox.empty() && client.outbox.front().due <= now) {
            const Client::ReplyPart& part = client.outbox.front();
            int32_t size = static_cast<int32_t>(part.bytes.size());
            if (platform::SendBytes(client.handle, reinterpret_cast<const uint8_t*>(part.bytes.data()), size) != size ||
                part.close_after)
                client.drop = true;
            client.outbox.pop_front();
        }
    }

    static std::string ValueText(const std::string& request, const FeedReading& reading) {
        char* end = nullptr;
        long offset = std::strtol(request.c_str(), &end, 10);
        if (end == request.c_str() || *end != ',' || offset != kVerticalSpeedOffset) return "0";
        return std::to_string(VerticalSpeedWord(reading.metres_per_minute));
    }

    const Options& options_;
    ValueFeed& feed_;
    FeedClock::time_point start_;
    std::vector<Client> clients_;
};

}  // namespace

int main(int argc, char** argv) {
    Options options = ParseOptions(argc, argv);
    if (int result = platform::StartSocketModule(); result != 0) {
        std::fprintf(stderr, "vario-dataserver: socket start-up failed (%d)\n", result);
        return 1;
    }
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    SleepSeconds(options.listen_delay_s);
    platform::SocketHandle listener = Server::Listen(options.bind_address_net, options.port);
    if (listener == platform::kNoSocket) {
        std::fprintf(stderr, "vario-dataserver: cannot listen on port %u (socket error %d)\n",
                     static_cast<unsigned>(options.port), platform::LastSocketError());
        return 1;
    }
    uint16_t port = platform::LocalPortOf(listener);
    if (!options.port_file.empty()) {
        // Written under another name first, so that a reader never sees half a number.
        std::string partial = options.port_file + ".part";
        FILE* file = std::fopen(partial.c_str(), "w");
        if (file == nullptr || std::fprintf(file, "%u\n", static_cast<unsigned>(port)) < 0 || std::fclose(file) != 0 ||
            std::rename(partial.c_str(), options.port_file.c_str()) != 0) {
            std::fprintf(stderr, "vario-dataserver: cannot write %s\n", options.port_file.c_str());
            return 1;
        }
    }
    std::unique_ptr<ValueFeed> feed = OpenFeed(options.feed);
    std::printf("listening on port %u\n", static_cast<unsigned>(port));
    std::fflush(stdout);

    Server server(options, *feed);
    server.Run(listener, port);
    feed->Stop();  // cancels a simulator subscription
    return 0;
}
