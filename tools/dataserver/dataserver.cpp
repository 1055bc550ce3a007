// vario-dataserver: a cockpit data server for development, and a bridge from simulators.
// Answers each NUL-terminated request "offset,size,code" with a number text and a NUL;
// offset 2114 (the vertical speed) follows the chosen value feed. Serves many clients at
// once from one loop over non-blocking sockets, so that no client can hold up another.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/sockets.h"
#include "platform/system.h"
#include "tools/common/tool_options.h"
#include "tools/common/value_feed.h"

namespace {

constexpr int32_t kVerticalSpeedOffset = 2114;

// Bounds on what one client can make the server hold.
constexpr size_t kMaxPendingRequestBytes = 4096;  // a request without its NUL by then is none
constexpr size_t kMaxQueuedReplyParts = 256;      // replies held back by --late or --split
// Clients at once. When all places are taken, the client silent longest makes room for
// the new one, so that connections held open by anyone cannot lock the gauges out.
constexpr size_t kMaxClients = 256;
// A client that sends nothing for this long is closed; a gauge asks many times a second.
constexpr auto kIdleLimit = std::chrono::seconds(30);
constexpr int kListenBacklog = 128;
constexpr double kMaxDelaySeconds = 3600;  // --late, --listen-delay
constexpr auto kRelistenInterval = std::chrono::seconds(1);

const char* const kHelp =
    "Usage: vario-dataserver [options]\n"
    "Development cockpit data server for ORVEXVario's network mode, and a bridge from a\n"
    "flight simulator to it. Listens on a TCP port and answers each request\n"
    "\"offset,size,code\" + NUL with a number text + NUL: for offset 2114 the vertical\n"
    "speed in whole metres per minute (descent positive), for any other offset 0. Serves\n"
    "up to 256 clients at once.\n"
    "\n"
    "Source of the vertical speed (default: the built-in flight profile, repeating):\n"
    "%s"
    "\n"
    "Options:\n"
    "  --port N           TCP port, 0 to 65535 (default 8000; 0 picks a free one)\n"
    "  --bind ADDRESS     address to listen on (default 0.0.0.0, every interface)\n"
    "  --port-file FILE   write the port listened on to FILE once listening\n"
    "  --raw TEXT         answer every request with exactly TEXT; escapes \\0 \\r \\n \\t\n"
    "                     \\\\ and \\xHH are decoded, and no NUL is added\n"
    "  --silent           read requests but never answer\n"
    "  --close-after N    close the connection after N replies (0: at the first request)\n"
    "  --late SECONDS     wait this long before each reply (0 to 3600)\n"
    "  --split            send each reply in two parts, 200 ms apart\n"
    "  --listen-delay S   start listening only after S seconds (0 to 3600)\n"
    "  --log              print each request received on standard output\n"
    "  --help             this text\n"
    "\n"
    "The line \"listening on port N\" is printed each time the server starts to accept\n"
    "connections. While a simulator source is stale the server does not listen, and says\n"
    "so; each client's connection is closed at its next request.\n"
    "A client whose request runs past 4096 bytes without a NUL, that does not read its\n"
    "replies, or that sends nothing for 30 s is disconnected; with 256 clients connected,\n"
    "the one silent longest makes room for a new one.\n"
    "Ctrl-C, SIGTERM and SIGHUP end the server, cancelling a simulator subscription. A bad\n"
    "option ends it with status 2.\n";

struct Options {
    uint16_t port = 8000;
    uint32_t bind_address_net = 0;
    std::string port_file;
    FeedChoice feed;
    std::optional<std::string> raw_reply;
    bool silent = false;
    int64_t close_after = -1;
    double late_s = 0;
    bool split = false;
    double listen_delay_s = 0;
    bool log = false;
};

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
                throw EVarioError("\\x needs two hexadecimal digits in --raw");
            default: out.push_back(c); break;
        }
    }
    return out;
}

// Takes the reader's option into the options: false when it is none of the server's.
bool TakeOption(OptionReader& reader, Options& options) {
    const std::string& option = reader.Name();
    if (TakeFeedOption(reader, options.feed)) return true;
    if (option == "--port") {
        options.port = static_cast<uint16_t>(reader.WholeNumber(0, 65535));
    } else if (option == "--bind") {
        std::string address = reader.Value();
        options.bind_address_net = platform::ParseIpv4Text(address);
        if (options.bind_address_net == platform::kNoIpv4Address)
            throw EVarioError("--bind needs a dotted IPv4 address, not '" + QuotedValue(address) + "'");
    } else if (option == "--port-file") {
        options.port_file = reader.Value();
    } else if (option == "--raw") {
        options.raw_reply = DecodeEscapes(reader.Value());
    } else if (option == "--silent") {
        options.silent = true;
    } else if (option == "--close-after") {
        options.close_after = reader.WholeNumber(0, INT32_MAX);
    } else if (option == "--late") {
        options.late_s = reader.Seconds(kMaxDelaySeconds);
    } else if (option == "--split") {
        options.split = true;
    } else if (option == "--listen-delay") {
        options.listen_delay_s = reader.Seconds(kMaxDelaySeconds);
    } else if (option == "--log") {
        options.log = true;
    } else {
        return false;
    }
    return true;
}

FeedClock::duration Seconds(double seconds) {
    return std::chrono::duration_cast<FeedClock::duration>(std::chrono::duration<double>(seconds));
}

// Sleeps for the seconds unless an end signal comes first: false then.
bool SleepUnlessStopped(double seconds) {
    auto until = FeedClock::now() + Seconds(seconds);
    while (!platform::StopSignalNoted()) {
        auto now = FeedClock::now();
        if (now >= until) return true;
        auto left_ms = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
        platform::SleepMilliseconds(static_cast<uint32_t>(std::min<int64_t>(left_ms + 1, 50)));
    }
    return false;
}

// "listening on port N" and the lines like it, on standard output.
void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// One gauge (or any client) and what the server holds for it.
struct Client {
    struct ReplyPart {
        FeedClock::time_point due;
        std::string bytes;
        bool close_after = false;  // the last reply that --close-after allows
    };

    platform::SocketHandle handle = platform::kNoSocket;
    FeedClock::time_point last_heard;  // when it last sent anything, or connected
    std::string pending;               // request bytes not yet ended by a NUL
    std::deque<ReplyPart> outbox;
    int64_t replies = 0;
    bool finished = false;  // takes no more requests (the connection is to end)
    bool drop = false;      // to be closed at the end of this pass
};

class Server {
public:
    Server(const Options& options, ValueFeed& feed) : options_(options), feed_(feed), start_(FeedClock::now()) {}
    ~Server() {
        for (const Client& client : clients_) platform::CloseSocket(client.handle);
        if (listener_ != platform::kNoSocket) platform::CloseSocket(listener_);
    }

    // Takes the port (0 picks one) with a listening socket: false, with the socket error
    // as the last one, when it cannot.
    bool Open() {
        listener_ = Listen(options_.bind_address_net, options_.port);
        if (listener_ == platform::kNoSocket) return false;
        port_ = platform::LocalPortOf(listener_);
        return true;
    }

    // Serves until an end signal; false when the port file cannot be written. While the
    // feed is stale the server does not listen: a gauge then stays at its connecting
    // state instead of connecting only to be closed at its first request.
    bool Run() {
        bool told_listening = false;
        while (!platform::StopSignalNoted()) {
            bool live = options_.raw_reply || feed_.Read(Elapsed()).live;
            if (!live && listener_ != platform::kNoSocket) {
                platform::CloseSocket(listener_);
                listener_ = platform::kNoSocket;
                Say((told_listening ? "stopped listening on port " : "not listening on port ") + std::to_string(port_) +
                    " while the simulator gives no data");
                told_listening = false;
            } else if (live && listener_ == platform::kNoSocket) {
                Relisten();
            }
            if (listener_ != platform::kNoSocket && !told_listening) {
                if (!WritePortFile()) return false;
                Say("listening on port " + std::to_string(port_));
                told_listening = true;
            }
            std::vector<platform::SocketWait> waits(1 + clients_.size());
            waits[0].handle = listener_;
            waits[0].want_read = listener_ != platform::kNoSocket;
            for (size_t i = 0; i < clients_.size(); ++i) {
                waits[i + 1].handle = clients_[i].handle;
                waits[i + 1].want_read = true;
            }
            size_t first = listener_ != platform::kNoSocket ? 0 : 1;
            platform::WaitSocketsReady(waits.data() + first, waits.size() - first, WaitMicroseconds());
            for (size_t i = 0; i < clients_.size(); ++i)
                if (waits[i + 1].readable) ReadRequests(clients_[i]);
            auto now = FeedClock::now();
            for (Client& client : clients_) {
                SendDueReplies(client);
                if (now - client.last_heard >= kIdleLimit) client.drop = true;
            }
            std::erase_if(clients_, [](const Client& client) {
                if (client.drop) CloseClient(client);
                return client.drop;
            });
            // Last: making room closes a client, which the waits above must not name.
            if (waits[0].readable) AcceptWaiting();
        }
        return true;
    }

private:
    double Elapsed() const { return std::chrono::duration<double>(FeedClock::now() - start_).count(); }

    // A non-blocking listening socket, or kNoSocket.
    static platform::SocketHandle Listen(uint32_t address_net, uint16_t port) {
        platform::SocketHandle listener = platform::ListenTcp(address_net, port, kListenBacklog);
        if (listener != platform::kNoSocket && platform::SetSocketNonBlocking(listener) != 0) {
            platform::CloseSocket(listener);
            return platform::kNoSocket;
        }
        return listener;
    }

    // The same port again once the feed is back; a port taken meanwhile is tried again
    // every second, and said once.
    void Relisten() {
        auto now = FeedClock::now();
        if (now < next_listen_at_) return;
        listener_ = Listen(options_.bind_address_net, port_);
        if (listener_ != platform::kNoSocket) {
            relisten_failed_ = false;
            return;
        }
        next_listen_at_ = now + kRelistenInterval;
        if (!relisten_failed_)
            Say("cannot listen on port " + std::to_string(port_) + " again (socket error " +
                std::to_string(platform::LastSocketError()) + "), retrying");
        relisten_failed_ = true;
    }

    // Once, when first listening; under another name first, so that a reader never sees
    // half a number.
    bool WritePortFile() {
        if (options_.port_file.empty() || port_file_written_) return true;
        std::string partial = options_.port_file + ".part";
        FILE* file = std::fopen(partial.c_str(), "w");
        if (file == nullptr || std::fprintf(file, "%u\n", static_cast<unsigned>(port_)) < 0 || std::fclose(file) != 0 ||
            std::rename(partial.c_str(), options_.port_file.c_str()) != 0) {
            std::fprintf(stderr, "vario-dataserver: cannot write %s\n", options_.port_file.c_str());
            return false;
        }
        port_file_written_ = true;
        return true;
    }

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

    static void CloseClient(const Client& client) {
        platform::ShutdownSocket(client.handle);
        platform::CloseSocket(client.handle);
    }

    void AcceptWaiting() {
        for (;;) {
            platform::SocketHandle handle = platform::AcceptConnection(listener_);
            if (handle == platform::kNoSocket) return;
            if (platform::SetSocketNonBlocking(handle) != 0) {
                platform::CloseSocket(handle);
                continue;
            }
            if (clients_.size() >= kMaxClients) {
                auto longest_idle =
                    std::min_element(clients_.begin(), clients_.end(),
                                     [](const Client& a, const Client& b) { return a.last_heard < b.last_heard; });
                CloseClient(*longest_idle);
                clients_.erase(longest_idle);
            }
            Client client;
            client.handle = handle;
            client.last_heard = FeedClock::now();
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
        client.last_heard = FeedClock::now();
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
            FeedReading reading = feed_.Read(Elapsed());
            // No data: the client is told by losing its connection, never by an old value.
            if (!reading.live) {
                client.drop = true;
                return;
            }
            reply = ValueText(request, reading) + std::string(1, '\0');
        }
        auto due = FeedClock::now() + Seconds(options_.late_s);
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
    platform::SocketHandle listener_ = platform::kNoSocket;
    uint16_t port_ = 0;
    FeedClock::time_point next_listen_at_{};
    bool relisten_failed_ = false;
    bool port_file_written_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (int status = ReadToolOptions(
            "vario-dataserver", argc, argv, [] { std::printf(kHelp, kFeedOptionsHelp); },
            [&](OptionReader& reader) { return TakeOption(reader, options); }, [&] { CheckFeedChoice(options.feed); });
        status != 0)
        return status;
    if (int result = platform::StartSocketModule(); result != 0) {
        std::fprintf(stderr, "vario-dataserver: socket start-up failed (%d)\n", result);
        return 1;
    }
    platform::CatchStopSignals();
    if (!SleepUnlessStopped(options.listen_delay_s)) return 0;
    std::unique_ptr<ValueFeed> feed = OpenFeed(options.feed);
    bool served = false;
    {
        Server server(options, *feed);
        if (!server.Open()) {
            std::fprintf(stderr, "vario-dataserver: cannot listen on port %u (socket error %d)\n",
                         static_cast<unsigned>(options.port), platform::LastSocketError());
        } else {
            served = server.Run();
        }
    }
    feed->Stop();  // cancels a simulator subscription
    return served ? 0 : 1;
}
