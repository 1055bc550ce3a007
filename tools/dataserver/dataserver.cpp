// vario-dataserver: a cockpit data server for development. Answers each NUL-terminated
// request "offset,size,code" with a number text and a NUL; offset 2114 (the vertical
// speed) follows the shared flight profile or a timed script.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/sockets.h"
#include "tools/common/flight_profile.h"

namespace {

constexpr int32_t kVerticalSpeedOffset = 2114;

const char* const kHelp =
    "Usage: vario-dataserver [options]\n"
    "Development cockpit data server for ORVEXVario's network mode. Listens on a TCP port\n"
    "and answers each request \"offset,size,code\" + NUL with a number text + NUL: for\n"
    "offset 2114 the vertical speed in metres per minute (descent positive) from the\n"
    "built-in flight profile, for any other offset 0. Serves one client after another.\n"
    "\n"
    "Options:\n"
    "  --port N           TCP port (default 8000; 0 picks a free one)\n"
    "  --bind ADDRESS     address to listen on (default 0.0.0.0, every interface)\n"
    "  --port-file FILE   write the port listened on to FILE once listening\n"
    "  --value V          answer the fixed value V for offset 2114\n"
    "  --script T:V,...   timed values: from T seconds after the start the value is V\n"
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
    "The line \"listening on port N\" is printed once the server accepts connections.\n";

struct Options {
    uint16_t port = 8000;
    uint32_t bind_address_net = 0;
    std::string port_file;
    FlightProfile profile = FlightProfile::BuiltIn();
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
        if (option == "--help" || option == "-h") {
            std::fputs(kHelp, stdout);
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
        } else if (option == "--value") {
            const char* text = value();
            char* end = nullptr;
            double fixed = std::strtod(text, &end);
            if (*text == '\0' || *end != '\0') Usage("--value needs a number");
            options.profile = FlightProfile::Fixed(fixed);
        } else if (option == "--script") {
            std::string error;
            auto profile = FlightProfile::FromScript(value(), error);
            if (!profile) Usage(error);
            options.profile = *profile;
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

bool SendAll(platform::SocketHandle client, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        int result = platform::SendBytes(client, reinterpret_cast<const uint8_t*>(bytes.data()) + sent,
                                         static_cast<int32_t>(bytes.size() - sent));
        if (result <= 0) return false;
        sent += static_cast<size_t>(result);
    }
    return true;
}

class Server {
public:
    explicit Server(const Options& options) : options_(options), start_(std::chrono::steady_clock::now()) {}

    // Answers one request; false when the connection is to end.
    bool Answer(platform::SocketHandle client, const std::string& request) {
        if (options_.log) {
            std::printf("request: %s\n", request.c_str());
            std::fflush(stdout);
        }
        if (options_.close_after == 0 || options_.silent) return !(options_.close_after == 0);
        SleepSeconds(options_.late_s);
        std::string reply = options_.raw_reply ? *options_.raw_reply : ValueText(request) + std::string(1, '\0');
        bool ok;
        if (options_.split && reply.size() > 1) {
            size_t half = reply.size() / 2;
            ok = SendAll(client, reply.substr(0, half));
            platform::SleepMilliseconds(200);
            ok = ok && SendAll(client, reply.substr(half));
        } else {
            ok = SendAll(client, reply);
        }
        ++replies_;
        return ok && !(options_.close_after > 0 && replies_ >= options_.close_after);
    }

    void Serve(platform::SocketHandle client) {
        replies_ = 0;
        std::string pending;
        uint8_t chunk[4096];
        for (;;) {
            int got = platform::ReceiveBytes(client, chunk, sizeof chunk);
            if (got <= 0) return;
            pending.append(reinterpret_cast<const char*>(chunk), static_cast<size_t>(got));
            size_t nul;
            while ((nul = pending.find('\0')) != std::string::npos) {
                std::string request = pending.substr(0, nul);
                pending.erase(0, nul + 1);
                if (!Answer(client, request)) return;
            }
        }
    }

private:
    std::string ValueText(const std::string& request) {
        char* end = nullptr;
        long offset = std::strtol(request.c_str(), &end, 10);
        if (end == request.c_str() || *end != ',' || offset != kVerticalSpeedOffset) return "0";
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        return std::to_string(options_.profile.WordAt(seconds));
    }

    const Options& options_;
    std::chrono::steady_clock::time_point start_;
    long replies_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options options = ParseOptions(argc, argv);
    if (int result = platform::StartSocketModule(); result != 0) {
        std::fprintf(stderr, "vario-dataserver: socket start-up failed (%d)\n", result);
        return 1;
    }
    SleepSeconds(options.listen_delay_s);
    platform::SocketHandle listener = platform::ListenTcp(options.bind_address_net, options.port, 8);
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
    std::printf("listening on port %u\n", static_cast<unsigned>(port));
    std::fflush(stdout);

    Server server(options);
    for (;;) {
        platform::SocketHandle client = platform::AcceptConnection(listener);
        if (client == platform::kNoSocket) {
            platform::SleepMilliseconds(10);
            continue;
        }
        server.Serve(client);
        platform::ShutdownSocket(client);
        platform::CloseSocket(client);
    }
}
