// What the served window accepts from a browser, and where it listens.
#include "net/browser/browser_protocol.h"

#include <gtest/gtest.h>

#include "net/browser/serve_address.h"

namespace velmora {
namespace {

struct MessageCase {
    const char* message;
    bool accepted;
};

TEST(BrowserProtocol, ReadsOnlyTheExactForms) {
    const std::string big(kMaxBrowserMessageBytes, ' ');
    const std::string longText =
        R"({"k":"answer","dialog":1,"button":0,"text":")" + std::string(1025, 'a') + "\"}";
    const MessageCase cases[] = {
        {R"({"k":"key","key":"Enter","down":true})", true},
        {R"({"k":"key","key":"Escape","down":false})", true},
        {R"({"k":"key","key":"Tab","down":true})", false},          // not a key of the window
        {R"({"k":"key","key":"Enter","down":1})", false},           // not a boolean
        {R"({"k":"key","key":"Enter","down":true,"x":1})", false},  // a field too many
        {R"({"k":"ptr","phase":"down","x":10,"y":20})", true},
        {R"({"k":"ptr","phase":"move","x":-32768,"y":32768})", true},
        {R"({"k":"ptr","phase":"up","x":32769,"y":0})", false},  // beyond any window
        {R"({"k":"ptr","phase":"up","x":1.5,"y":0})", false},    // not a whole pixel
        {R"({"k":"ptr","phase":"up","x":1e300,"y":0})", false},
        {R"({"k":"ptr","phase":"drag","x":1,"y":1})", false},
        {R"({"k":"answer","dialog":2,"button":1,"text":"太郎"})", true},
        {R"({"k":"answer","dialog":-1,"button":0,"text":""})", false},
        {R"({"k":"answer","dialog":1,"button":16,"text":""})", false},
        {R"({"k":"answer","dialog":1,"button":0})", false},
        {longText.c_str(), false},  // past the answer limit
        {R"({"k":"about"})", true},
        {R"({"k":"about","x":1})", false},
        {R"(["k","about"])", false},
        {R"({"k":"about")", false},
        {"", false},
        {big.c_str(), false},
    };
    for (const MessageCase& c : cases) {
        SCOPED_TRACE(c.message);
        const std::optional<BrowserEvent> e = ParseBrowserMessage(c.message);
        EXPECT_EQ(e.has_value(), c.accepted);
        if (e) {
            EXPECT_EQ(ParseBrowserMessage(EncodeBrowserMessage(*e)), e);
        }
    }
}

struct AddressCase {
    const char* text;
    const char* address;  // null: refused
    int port;
};

TEST(ServeAddress, ReadsPortAndLiteralAddress) {
    const AddressCase cases[] = {
        {"8080", "127.0.0.1", 8080},   {"0", "127.0.0.1", 0},
        {"0.0.0.0:80", "0.0.0.0", 80}, {"192.168.1.5:65535", "192.168.1.5", 65535},
        {"[::1]:9000", "::1", 9000},   {"[::]:1", "::", 1},
        {"65536", nullptr, 0},         {"-1", nullptr, 0},
        {"80x", nullptr, 0},           {"", nullptr, 0},
        {"localhost:80", nullptr, 0},  // no name is looked up
        {"::1:80", nullptr, 0},        // IPv6 needs its brackets
        {"[::1]80", nullptr, 0},       {"1.2.3.4:", nullptr, 0},
    };
    for (const AddressCase& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const std::optional<ServeAddress> a = ParseServeAddress(c.text, error);
        ASSERT_EQ(a.has_value(), c.address != nullptr) << error;
        if (!a) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(a->address, QHostAddress(QString::fromLatin1(c.address)));
        EXPECT_EQ(a->port, c.port);
    }
}

}  // namespace
}  // namespace velmora
