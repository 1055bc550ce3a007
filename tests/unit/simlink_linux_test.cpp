// The Linux stand-in of the simulator link between real sockets of this process: who may
// own the runtime directory, bounded steps against an add-on that stops reading or
// accepting or has gone, and the request area passed as a sealed memory file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/linux/simlink_linux_internal.h"
#include "platform/simlink_addon.h"
#include "platform/simlink_ipc.h"

namespace {

using namespace platform::simlink_linux;
using Clock = std::chrono::steady_clock;

constexpr const char* kClass = "SIMLINKTESTMAIN";
constexpr uint32_t kMessage = 0xC123;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A private runtime directory for the test, named by SIMLINK_RUNTIME_DIR while it runs.
class LinuxLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vario-simlink-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        setenv("SIMLINK_RUNTIME_DIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        for (int fd : fds_) close(fd);
        unsetenv("SIMLINK_RUNTIME_DIR");
        std::filesystem::remove_all(dir_);
    }

    // A listening socket for the class in `dir`, as an add-on offers its window.
    int Listen(const std::string& dir, int backlog = 16) {
        sockaddr_un address = Address(dir + "/" + kClass);
        int fd = Keep(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(listen(fd, backlog), 0);
        return fd;
    }
    static sockaddr_un Address(const std::string& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        return address;
    }
    int Keep(int fd) {
        EXPECT_GE(fd, 0);
        fds_.push_back(fd);
        return fd;
    }

    platform::SimLinkIpc& ipc = platform::SystemSimLinkIpc();
    std::string dir_;
    std::vector<int> fds_;
};

TEST_F(LinuxLinkTest, RuntimeDirectoryMustBeTheUsersAlone) {
    Listen(dir_);
    ASSERT_NE(ipc.FindTopWindowByClass(kClass), 0u) << "a private directory is accepted";

    struct Case {
        const char* name;
        std::function<std::string()> prepare;  // returns the directory to name
    };
    const Case cases[] = {
        {"readable by the group",
         [&] {
             chmod(dir_.c_str(), 0750);
             return dir_;
         }},
        {"writable by others",
         [&] {
             chmod(dir_.c_str(), 0703);
             return dir_;
         }},
        {"a symlink to a private directory",
         [&] {
             std::string link = dir_ + "-link";
             EXPECT_EQ(symlink(dir_.c_str(), link.c_str()), 0);
             return link;
         }},
        {"owned by another user",
         [&] {
             if (geteuid() != 0) return std::string();
             EXPECT_EQ(chown(dir_.c_str(), 65534, 65534), 0);
             return dir_;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        chmod(dir_.c_str(), 0700);
        std::string named = c.prepare();
        if (named.empty()) continue;  // needs root
        setenv("SIMLINK_RUNTIME_DIR", named.c_str(), 1);
        auto start = Clock::now();
        EXPECT_EQ(ipc.FindTopWindowByClass(kClass), 0u);
        EXPECT_LT(SecondsSince(start), 1.0);
        setenv("SIMLINK_RUNTIME_DIR", dir_.c_str(), 1);
        if (geteuid() == 0) {
            EXPECT_EQ(chown(dir_.c_str(), 0, 0), 0);
        }
    }
    std::filesystem::remove(dir_ + "-link");
}

// An add-on whose queue of connections is full (it stopped accepting) is given up
// after the step's bound instead of holding the caller for ever.
TEST_F(LinuxLinkTest, RendezvousWithAFullQueueEndsWithinTheBound) {
    Listen(dir_, 0);
    sockaddr_un address = Address(dir_ + "/" + kClass);
    for (int filled = 0; filled < 4; ++filled) {
        int fd = Keep(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) break;
    }
    auto start = Clock::now();
    EXPECT_EQ(ipc.FindTopWindowByClass(kClass), 0u);
    double seconds = SecondsSince(start);
    EXPECT_GE(seconds, 1.5);
    EXPECT_LT(seconds, 4.0);
}

// An add-on that takes the connection but never reads: the socket fills up, and then
// each send ends within its time-out, reported as a time-out (no error code).
TEST_F(LinuxLinkTest, AddOnThatStopsReadingMakesSendsTimeOutNotHang) {
    int listener = Listen(dir_);
    platform::SimWindowHandle window = ipc.FindTopWindowByClass(kClass);
    ASSERT_NE(window, 0u);
    int accepted = Keep(accept(listener, nullptr, nullptr));
    const int calls = 600;
    double slowest = 0;
    for (int i = 0; i < calls; ++i) {
        intptr_t reply = 0;
        auto start = Clock::now();
        ASSERT_FALSE(ipc.SendBlockingMessage(window, kMessage, 0, 0, 1, reply));
        ASSERT_EQ(ipc.LastErrorCode(), 0u);
        slowest = std::max(slowest, SecondsSince(start));
    }
    EXPECT_LT(slowest, 0.5);
    // Fewer packets arrived than were sent: the later sends found no room and gave up.
    int arrived = 0;
    char packet[512];
    while (recv(accepted, packet, sizeof packet, MSG_DONTWAIT) > 0) ++arrived;
    EXPECT_GT(arrived, 0);
    EXPECT_LT(arrived, calls);
}

// The add-on gone (its end closed): the send fails at once as for a destroyed window,
// and the handle is no longer valid.
TEST_F(LinuxLinkTest, AddOnGoneFailsAtOnceAsAnInvalidWindow) {
    int listener = Listen(dir_);
    platform::SimWindowHandle window = ipc.FindTopWindowByClass(kClass);
    ASSERT_NE(window, 0u);
    close(accept(listener, nullptr, nullptr));
    for (int attempt = 0; attempt < 2; ++attempt) {
        intptr_t reply = 0;
        auto start = Clock::now();
        EXPECT_FALSE(ipc.SendBlockingMessage(window, kMessage, 0, 0, 2000, reply));
        EXPECT_EQ(ipc.LastErrorCode(), platform::kErrorInvalidWindowHandle);
        EXPECT_LT(SecondsSince(start), 0.5);
    }
}

// Receives one message packet with its attached descriptor, as the add-on does.
ssize_t ReceiveWithDescriptor(int fd, MessagePacket& header, int& attached) {
    char packet[sizeof(MessagePacket) + kMaxAtomNameBytes];
    iovec part{packet, sizeof packet};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    msghdr incoming{};
    incoming.msg_iov = &part;
    incoming.msg_iovlen = 1;
    incoming.msg_control = control;
    incoming.msg_controllen = sizeof control;
    ssize_t got = recvmsg(fd, &incoming, 0);
    attached = -1;
    if (cmsghdr* first = CMSG_FIRSTHDR(&incoming); first && first->cmsg_type == SCM_RIGHTS)
        std::memcpy(&attached, CMSG_DATA(first), sizeof attached);
    std::memcpy(&header, packet, sizeof header);
    return got;
}

// The area has no name in /dev/shm, and the add-on receives it sealed, once per
// connection: it can neither shrink it under the client's mapping (no SIGBUS) nor
// seal it further.
TEST_F(LinuxLinkTest, RequestAreaTravelsSealedWithTheMessage) {
    int listener = Listen(dir_);
    platform::SimWindowHandle window = ipc.FindTopWindowByClass(kClass);
    ASSERT_NE(window, 0u);
    std::string name = "SimLinkTest:" + std::to_string(getpid()) + ":sealed";
    uint16_t atom = ipc.AddNamedAtom(name.c_str());
    platform::SimMappingHandle mapping = ipc.CreateNamedSharedMemory(name.c_str(), 0x8000);
    ASSERT_NE(mapping, 0u);
    uint8_t* view = ipc.MapSharedView(mapping);
    ASSERT_NE(view, nullptr);
    view[0x7FFF] = 0x5A;
    EXPECT_FALSE(std::filesystem::exists("/dev/shm/" + name));

    int accepted = Keep(accept(listener, nullptr, nullptr));
    std::thread add_on([&] {
        MessagePacket header{};
        int area = -1;
        ASSERT_GT(ReceiveWithDescriptor(accepted, header, area), 0);
        ASSERT_GE(area, 0) << "no area came with the message";
        struct stat info {};
        EXPECT_EQ(fstat(area, &info), 0);
        EXPECT_EQ(info.st_size, 0x8000);
        EXPECT_EQ(fcntl(area, F_GET_SEALS), F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL);
        EXPECT_NE(ftruncate(area, 0), 0);
        EXPECT_NE(fcntl(area, F_ADD_SEALS, F_SEAL_WRITE), 0);
        auto* mapped = static_cast<uint8_t*>(mmap(nullptr, 0x8000, PROT_READ | PROT_WRITE, MAP_SHARED, area, 0));
        ASSERT_NE(mapped, MAP_FAILED);
        EXPECT_EQ(mapped[0x7FFF], 0x5A);
        mapped[0] = 0xA5;
        munmap(mapped, 0x8000);
        close(area);
        ReplyPacket reply{header.sequence, 0, 1};
        send(accepted, &reply, sizeof reply, 0);
        // The add-on keeps it: the next message on the connection comes without one.
        ASSERT_GT(ReceiveWithDescriptor(accepted, header, area), 0);
        EXPECT_EQ(area, -1);
        reply = {header.sequence, 0, 1};
        send(accepted, &reply, sizeof reply, 0);
    });
    intptr_t reply = 0;
    EXPECT_TRUE(ipc.SendBlockingMessage(window, kMessage, atom, 0, 2000, reply));
    EXPECT_EQ(reply, 1);
    EXPECT_EQ(view[0], 0xA5);
    EXPECT_TRUE(ipc.SendBlockingMessage(window, kMessage, atom, 0, 2000, reply));
    add_on.join();
    ipc.UnmapSharedView(view);
    ipc.CloseSharedMemory(mapping);
    ipc.DeleteNamedAtom(atom);
}

// The add-on side maps only an area that is large enough and sealed against shrinking.
class AreaRecorder final : public platform::SimLinkAddOnHandler {
public:
    void OnReady(const std::string&) override {}
    intptr_t OnIpcMessage(uint8_t* area, size_t area_bytes) override {
        ++messages;
        return area != nullptr && area_bytes == 0x8000 ? 1 : 2;
    }
    bool ShouldStop() override { return messages == 3; }
    int messages = 0;
};

TEST_F(LinuxLinkTest, AddOnMapsOnlyASealedAreaOfFullSize) {
    AreaRecorder recorder;
    std::string error;
    std::thread add_on([&] { platform::ServeSimLinkAddOn(kClass, "SimLinkTest:IPC", recorder, error); });
    sockaddr_un address = Address(dir_ + "/" + kClass);
    int client = Keep(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    for (int tries = 0; connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0; ++tries) {
        ASSERT_LT(tries, 200) << "the add-on did not listen: " << error;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    struct Case {
        const char* name;
        off_t size;
        int seals;
        intptr_t expected;
    };
    const Case cases[] = {
        {"unsealed", 0x8000, 0, 2},
        {"sealed but short", 0x1000, F_SEAL_SHRINK | F_SEAL_GROW, 2},
        {"sealed, full size", 0x8000, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL, 1},
    };
    uint32_t sequence = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int area = memfd_create("area", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        ASSERT_GE(area, 0);
        ASSERT_EQ(ftruncate(area, c.size), 0);
        if (c.seals) {
            ASSERT_EQ(fcntl(area, F_ADD_SEALS, c.seals), 0);
        }
        MessagePacket header{++sequence, RegisteredMessageNumber("SimLinkTest:IPC"), 0xC001, 0, 0, 0};
        OutgoingPacket outgoing(&header, sizeof header, area);
        ASSERT_EQ(sendmsg(client, outgoing.Header(), 0), static_cast<ssize_t>(sizeof header));
        close(area);
        ReplyPacket reply{};
        ASSERT_EQ(recv(client, &reply, sizeof reply, 0), static_cast<ssize_t>(sizeof reply));
        EXPECT_EQ(reply.sequence, sequence);
        EXPECT_EQ(reply.reply, c.expected);
    }
    add_on.join();
    EXPECT_EQ(error, "");
}

}  // namespace
