// The listener: start-up results, both address families, bounded waits on clients that
// send nothing or stop reading, and stops that end transfers.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <thread>

#include "net_support.h"
#include "wait.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test::Get;

// Reads what arrives within the time, up to `most` bytes; *closed tells whether the
// peer closed or reset the connection.
long ReadFor(int s, std::chrono::milliseconds time, bool* closed, long most = LONG_MAX) {
    long total = 0;
    auto end = std::chrono::steady_clock::now() + time;
    char buf[65536];
    *closed = false;
    while (std::chrono::steady_clock::now() < end && total < most) {
        pollfd p{s, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        ssize_t n = recv(s, buf, std::min<long>(sizeof buf, most - total), 0);
        if (n <= 0) {
            *closed = true;
            break;
        }
        total += n;
    }
    return total;
}

class ListenerTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.writeBytes("a.txt", "hello");
        dir.writeBytes("big.bin", "");
        // Sparse: far more than the socket buffers hold, without using the disk.
        std::filesystem::resize_file(dir.path() + "/big.bin", kBig);
    }
    void serveFiles(test::SiteServer& server) {
        server.shared.update([this](WebSnapshot& s) {
            s.mode = FileServer;
            s.webroot = dir.path();
        });
    }

    static constexpr std::uintmax_t kBig = 64ull << 20;
    // Stops must not wait for a client's idle limit: the limit is far beyond the wait.
    static constexpr std::chrono::milliseconds kPatient{test::kPatientMs};
    static constexpr std::chrono::seconds kLongIdle{60};
    test::TempDir dir;
};

TEST_F(ListenerTest, StartsOnBothFamiliesAndStops) {
    test::SiteServer server;
    serveFiles(server);
    ASSERT_TRUE(server.start());
    WebListener::StartResult r = server.listener.startResult();
    EXPECT_EQ(r.var1, "OK");
    EXPECT_NE(Get(server.port(), "/a.txt", false).find("hello"), std::string::npos);
    EXPECT_NE(Get(server.port(), "/a.txt", true).find("hello"), std::string::npos);
    server.listener.requestStop();
    EXPECT_TRUE(server.listener.waitStopped(kPatient));
    server.listener.join();
    EXPECT_EQ(test::Connect(server.port()), -1);  // the port is free again
    // And it starts again on the same port.
    ASSERT_TRUE(server.start());
    EXPECT_NE(Get(server.port(), "/a.txt").find("hello"), std::string::npos);
}

TEST_F(ListenerTest, BindErrorWhenThePortIsTaken) {
    test::HeldPort taken(test::HeldPort::Listening::Yes);
    ASSERT_NE(taken.port(), 0);
    test::SiteServer server(10s, taken.port());
    EXPECT_FALSE(server.start());
    WebListener::StartResult r = server.listener.startResult();
    EXPECT_EQ(r.var1, "NG");
    EXPECT_EQ(r.var2, "Bind Error");
    EXPECT_TRUE(server.listener.ready());
    EXPECT_FALSE(server.listener.running());
}

TEST_F(ListenerTest, OneFamilyTakenStillStarts) {
    test::HeldPort taken(test::HeldPort::Listening::Yes, test::HeldPort::Families::Ipv6Only);
    ASSERT_NE(taken.port(), 0);
    test::SiteServer server(10s, taken.port());
    ASSERT_TRUE(server.start());
    EXPECT_EQ(server.listener.startResult().var1, "OK");
}

TEST_F(ListenerTest, SilentClientHoldsTheServerOnlyUntilTheIdleLimit) {
    test::SiteServer server(300ms);
    serveFiles(server);
    ASSERT_TRUE(server.start());
    int silent = test::Connect(server.port());
    ASSERT_GE(silent, 0);
    // The listener is now waiting on it.
    ASSERT_TRUE(test::WaitFor([&] { return test::QueuesOf(server.port()).backlog == 0; }));
    auto before = std::chrono::steady_clock::now();
    EXPECT_NE(Get(server.port(), "/a.txt").find("hello"), std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 8s);  // Get gives up at 10 s
    bool closed;
    ReadFor(silent, kPatient, &closed);
    EXPECT_TRUE(closed);
    close(silent);
}

TEST_F(ListenerTest, ClientThatStopsReadingIsDropped) {
    test::SiteServer server(300ms);
    serveFiles(server);
    ASSERT_TRUE(server.start());
    int stalled = test::Connect(server.port());
    ASSERT_GE(stalled, 0);
    std::string request = "GET /big.bin HTTP/1.0\r\n\r\n";
    ASSERT_EQ(send(stalled, request.data(), request.size(), 0), ssize_t(request.size()));
    ASSERT_TRUE(test::WaitFor([&] { return test::QueuesOf(server.port()).backlog == 0; }));
    auto before = std::chrono::steady_clock::now();
    EXPECT_NE(Get(server.port(), "/a.txt").find("hello"), std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 8s);
    close(stalled);
}

TEST_F(ListenerTest, StopWhileAClientSendsNothing) {
    test::SiteServer server(kLongIdle);
    serveFiles(server);
    ASSERT_TRUE(server.start());
    int silent = test::Connect(server.port());
    ASSERT_GE(silent, 0);
    ASSERT_TRUE(test::WaitFor([&] { return test::QueuesOf(server.port()).backlog == 0; }));
    server.listener.requestStop();
    EXPECT_TRUE(server.listener.waitStopped(kPatient));
    close(silent);
}

TEST_F(ListenerTest, StopEndsALargeTransfer) {
    test::SiteServer server(kLongIdle);
    serveFiles(server);
    ASSERT_TRUE(server.start());
    int client = test::Connect(server.port());
    ASSERT_GE(client, 0);
    std::string request = "GET /big.bin HTTP/1.0\r\n\r\n";
    ASSERT_EQ(send(client, request.data(), request.size(), 0), ssize_t(request.size()));
    // Read a little, then nothing: the server is stuck on a full socket when it stops.
    bool closed;
    long first = ReadFor(client, kPatient, &closed, 65536);
    EXPECT_EQ(first, 65536);
    EXPECT_FALSE(closed);
    ASSERT_TRUE(test::WaitFor([&] { return test::QueuesOf(server.port()).unsent > 0; }));
    server.listener.requestStop();
    EXPECT_TRUE(server.listener.waitStopped(kPatient));
    long rest = ReadFor(client, kPatient, &closed);
    EXPECT_TRUE(closed);
    EXPECT_LT(static_cast<std::uintmax_t>(first + rest), kBig);
    close(client);
}

TEST_F(ListenerTest, LargeFileArrivesWhole) {
    test::SiteServer server;
    serveFiles(server);
    ASSERT_TRUE(server.start());
    std::string response = Get(server.port(), "/big.bin");
    std::string body = test::Body(response);
    EXPECT_EQ(body.size(), kBig);
    EXPECT_NE(response.find("Content-Length: " + std::to_string(kBig) + "\n"), std::string::npos);
    EXPECT_EQ(body.find_first_not_of('\0'), std::string::npos);
}

}  // namespace
}  // namespace velmora
