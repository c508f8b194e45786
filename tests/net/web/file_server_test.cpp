// The file mode over real sockets: every response byte for byte, every link of a
// listing, and symbolic links that lead inside or outside the root.
#include "net/web/file_server.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "net_support.h"

namespace velmora {
namespace {

using test::Get;
using test::Sj;

const std::string kPageHeader =
    "HTTP/1.0 200 Document follows\nMIME-Version: 1.0\nServer: Quillon/1.0\n"
    "Content-Type: text/html; charset=Shift_JIS\n\n";

std::string FileResponse(const std::string& type, const std::string& body) {
    return "HTTP/1.0 200 Document follows\nMIME-Version: 1.0\nServer: Quillon/1.0\n"
           "Content-Type: " +
           type + "\nContent-Length: " + std::to_string(body.size()) + "\n\n" + body;
}

std::string Redirect(const std::string& location) {
    return "HTTP/1.0 301 Moved Permanently\nMIME-Version: 1.0\nServer: Quillon/1.0\nLocation: " +
           location + "\n\n";
}

std::string ListingHead(const std::string& path) {
    return kPageHeader + Sj(u8"<html><head><title>フォルダ：") + path +
           Sj(u8"</title></head><body><B>フォルダ：") + path + "</B><P><ul>\n";
}

std::string NotFound(const std::string& shown) {
    return kPageHeader +
           Sj(u8"<html><head><title>エラー</title></head><body>ファイルが見つかりません：") +
           shown + "</body></html>";
}

class FileServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = dir.path() + "/root";
        dir.mkdir("root/docs");
        dir.mkdir("root/a/b");
        dir.mkdir("root/htm");
        dir.mkdir("root/both");
        dir.mkdir("root/list/sub");
        dir.mkdir("root/my dir");
        dir.mkdir("root/x\r\ny");
        dir.mkdir("root/ .");  // where "/../x" leads once the ".." is broken up
        dir.mkdir("empty");
        dir.writeBytes("x", "outside the root");
        dir.writeBytes("root/ ./x", "inside");
        dir.writeBytes("root/a.txt", "hello");
        dir.writeBytes("root/my file.txt", "spaced");
        dir.writeBytes("root/a.JPG", "jpg");
        dir.writeBytes("root/noext", "data");
        dir.writeBytes("root/docs/index.html", "<p>docs</p>");
        dir.writeBytes("root/htm/index.htm", "<p>htm</p>");
        dir.writeBytes("root/both/index.html", "html");
        dir.writeBytes("root/both/index.htm", "htm");
        dir.writeSize("root/list/999.bin", 999);
        dir.writeSize("root/list/1500.bin", 1500);
        dir.writeBytes("root/list/<b>&.txt", "1");
        dir.writeBytes(reinterpret_cast<const char*>(u8"root/list/写真.txt"), "abc");
        dir.writeBytes(reinterpret_cast<const char*>(u8"root/写真.txt"), "photo");
        // Names copied from Windows keep their CP932 bytes ("日" is 93 FA), next to
        // UTF-8 ones, a name with a backslash and one no request can spell.
        dir.mkdir("root/legacy/\x93\xFA");
        dir.writeBytes("root/legacy/\x93\xFA.txt", "cp932");
        dir.writeBytes("root/legacy/\x93\xFA/\x95\x5C.txt", "nested");
        dir.writeBytes(reinterpret_cast<const char*>(u8"root/legacy/日.txt"), "utf-8");
        dir.writeBytes("root/legacy/a\\b.txt", "backslash");
        dir.writeBytes("root/legacy/a..b.txt", "dots");
        // Links inside the root are followed; links to outside it, or to nothing, are not.
        dir.mkdir("outside");
        dir.writeBytes("outside/secret.txt", "secret");
        dir.mkdir("root/links");
        Link("../a.txt", "root/links/inside.txt");
        Link("../docs", "root/links/docs");
        Link(dir.path() + "/outside", "root/links/etc");
        Link(dir.path() + "/outside/secret.txt", "root/links/secret.txt");
        Link("../../outside/secret.txt", "root/links/relative.txt");
        Link(dir.path() + "/nowhere", "root/links/dangling");
        server.shared.update([this](WebSnapshot& s) {
            s.mode = FileServer;
            s.webroot = root;
        });
        ASSERT_TRUE(server.start());
    }

    void Link(const std::string& target, const std::string& relative) {
        ASSERT_EQ(symlink(target.c_str(), (dir.path() + "/" + relative).c_str()), 0) << relative;
    }

    test::TempDir dir;
    std::string root;
    test::SiteServer server;
};

TEST_F(FileServerTest, AnswersEveryKindOfRequest) {
    const std::string sjisPhoto = "%8E%CA%90%5E.txt";  // "写真.txt" sent in Shift-JIS
    const std::string listing = ListingHead("list/") +
                                "[1kb] <a href=\"1500.bin\">1500.bin</a><P>\n" +
                                "[999bytes] <a href=\"999.bin\">999.bin</a><P>\n" +
                                "[1bytes] <a href=\"%3Cb%3E%26.txt\">&lt;b&gt;&amp;.txt</a><P>\n" +
                                Sj(u8"[フォルダ] <a href=\"sub/\">/sub</a><P>\n") +
                                "[3bytes] <a href=\"%E5%86%99%E7%9C%9F.txt\">" + Sj(u8"写真.txt") +
                                "</a><P>\n" + "</ul></body></html>";
    struct Case {
        std::string target, expected;
    } cases[] = {
        {"/a.txt", FileResponse("text/plain; charset=x-sjis", "hello")},
        {"/a.txt?x=1", FileResponse("text/plain; charset=x-sjis", "hello")},
        {"/docs", Redirect("/docs/")},
        {"/a/b", Redirect("/a/b/")},
        {"/my%20dir", Redirect("/my%20dir/")},
        {"/x%0D%0Ay", Redirect("/x%0D%0Ay/")},  // no CR or LF reaches the header
        {"/docs/", FileResponse("text/html", "<p>docs</p>")},
        {"/htm/", FileResponse("text/html", "<p>htm</p>")},
        {"/both/", FileResponse("text/html", "html")},
        {"/list/", listing},
        {"/nosuch/", ListingHead("nosuch/") + "Directory does not exist</ul></body></html>"},
        {"/nosuch.txt", NotFound("nosuch.txt")},
        {"/%3Cscript%3E.txt", NotFound("&lt;script&gt;.txt")},
        {"/%E5%86%99%E7%9C%9F.gif", NotFound(Sj(u8"写真.gif"))},
        {"/../x", FileResponse("application/octet-stream", "inside")},
        {"/docs/../a.txt", NotFound("docs/../a.txt")},
        {"/my%20file.txt", FileResponse("text/plain; charset=x-sjis", "spaced")},
        {"/my+file.txt", FileResponse("text/plain; charset=x-sjis", "spaced")},
        {"/a.JPG", FileResponse("application/JPG", "jpg")},
        {"/noext", FileResponse("application/octet-stream", "data")},
        {"/%E5%86%99%E7%9C%9F.txt", FileResponse("text/plain; charset=x-sjis", "photo")},
        {"/" + sjisPhoto, FileResponse("text/plain; charset=x-sjis", "photo")},
        {"/legacy/%93%FA.txt", FileResponse("text/plain; charset=x-sjis", "cp932")},
        {"/legacy/%E6%97%A5.txt", FileResponse("text/plain; charset=x-sjis", "utf-8")},
        {"/legacy/%93%FA/%95%5C.txt", FileResponse("text/plain; charset=x-sjis", "nested")},
        {"/legacy/a%5Cb.txt", FileResponse("text/plain; charset=x-sjis", "backslash")},
        {"/links/inside.txt", FileResponse("text/plain; charset=x-sjis", "hello")},
        {"/links/docs", Redirect("/links/docs/")},
        {"/links/docs/", FileResponse("text/html", "<p>docs</p>")},
        {"/links/etc", NotFound("links/etc")},
        {"/links/etc/", NotFound("links/etc/")},
        {"/links/etc/secret.txt", NotFound("links/etc/secret.txt")},
        {"/links/secret.txt", NotFound("links/secret.txt")},
        {"/links/relative.txt", NotFound("links/relative.txt")},
        {"/links/dangling", NotFound("links/dangling")},
    };
    for (const auto& c : cases) EXPECT_EQ(Get(server.port(), c.target), c.expected) << c.target;
}

TEST_F(FileServerTest, EveryListedEntryOpensThroughItsLink) {
    // Entries the server cannot open for its user: they are no more listed than served.
    dir.mkdir("root/odd/locked");
    dir.writeBytes("root/odd/unreadable.txt", "secret");
    ASSERT_EQ(chmod((root + "/odd/locked").c_str(), 0), 0);
    ASSERT_EQ(chmod((root + "/odd/unreadable.txt").c_str(), 0), 0);
    ASSERT_EQ(mkfifo((root + "/odd/fifo").c_str(), 0600), 0);
    const std::regex href("<a href=\"([^\"]*)\">");
    std::vector<std::string> folders = {"/"}, shown;
    while (!folders.empty()) {
        const std::string folder = folders.back();
        folders.pop_back();
        const std::string listing = Get(server.port(), folder);
        for (std::sregex_iterator m(listing.begin(), listing.end(), href), end; m != end; ++m) {
            const std::string target = folder + (*m)[1].str();
            shown.push_back(target);
            const std::string answer = Get(server.port(), target);
            EXPECT_EQ(answer.find(Sj(u8"ファイルが見つかりません")), std::string::npos) << target;
            EXPECT_EQ(answer.find("Directory does not exist"), std::string::npos) << target;
            if (target.back() == '/' && answer.find("<ul>") != std::string::npos)
                folders.push_back(target);
        }
    }
    // The entries no link can reach are not offered at all.
    for (const char* hidden : {"/links/etc/", "/links/secret.txt", "/links/relative.txt",
                               "/links/dangling", "/legacy/a..b.txt", "/odd/fifo"})
        EXPECT_EQ(std::count(shown.begin(), shown.end(), hidden), 0) << hidden;
    for (const char* listed : {"/legacy/%93%FA.txt", "/legacy/%93%FA/", "/legacy/%93%FA/%95%5C.txt",
                               "/legacy/a%5Cb.txt", "/links/inside.txt", "/links/docs/"})
        EXPECT_EQ(std::count(shown.begin(), shown.end(), listed), 1) << listed;
}

TEST_F(FileServerTest, RootReachedThroughALinkServesItsFiles) {
    ASSERT_EQ(symlink(root.c_str(), (dir.path() + "/rootlink").c_str()), 0);
    server.shared.update([this](WebSnapshot& s) { s.webroot = dir.path() + "/rootlink"; });
    EXPECT_EQ(Get(server.port(), "/links/inside.txt"),
              FileResponse("text/plain; charset=x-sjis", "hello"));
    EXPECT_EQ(Get(server.port(), "/links/etc/secret.txt"), NotFound("links/etc/secret.txt"));
}

TEST_F(FileServerTest, MethodIsNotLookedAt) {
    const std::string hello = FileResponse("text/plain; charset=x-sjis", "hello");
    EXPECT_EQ(test::Exchange(server.port(), "HEAD /a.txt HTTP/1.0\r\n\r\n"), hello);
    EXPECT_EQ(test::Exchange(server.port(), "POST /a.txt HTTP/1.0\r\n\r\nbody"), hello);
    // No "/" within the first 10 bytes: nothing is sent and the connection is closed.
    EXPECT_EQ(test::Exchange(server.port(), "OPTIONS * HTTP/1.0\r\n\r\n"), "");
    EXPECT_EQ(test::Exchange(server.port(), "GARBAGE\r\n\r\n"), "");
}

TEST_F(FileServerTest, ServesBothAddressFamilies) {
    const std::string hello = FileResponse("text/plain; charset=x-sjis", "hello");
    EXPECT_EQ(Get(server.port(), "/a.txt", false), hello);
    EXPECT_EQ(Get(server.port(), "/a.txt", true), hello);
}

TEST_F(FileServerTest, RootWithoutIndexIsListed) {
    server.shared.update([this](WebSnapshot& s) { s.webroot = dir.path() + "/empty/"; });
    EXPECT_EQ(Get(server.port(), "/"), ListingHead("") + "</ul></body></html>");
}

TEST_F(FileServerTest, LargeRequestsAreAnsweredWhole) {
    // More than one receive can hold: the rest is read away so the close does not reset.
    std::string request = "GET /a.txt HTTP/1.0\r\nCookie: " + std::string(6000, 'c') + "\r\n\r\n";
    EXPECT_EQ(test::Exchange(server.port(), request),
              FileResponse("text/plain; charset=x-sjis", "hello"));
}

TEST(ContentTypeLine, FollowsTheExtensionTable) {
    struct Case {
        std::string path;
        bool directory;
        std::string line;
    } cases[] = {
        {"a.jpg", false, "Content-Type: image/jpeg\n"},
        {"a.jpeg", false, "Content-Type: image/jpeg\n"},
        {"a.txt", false, "Content-Type: text/plain; charset=x-sjis\n"},
        {"a.gif", false, "Content-Type: image/gif\n"},
        {"a.htm", false, "Content-Type: text/html\n"},
        {"a.html", false, "Content-Type: text/html\n"},
        {"a.png", false, "Content-Type: application/png\n"},
        {"a.JPG", false, "Content-Type: application/JPG\n"},
        {"a.tar.gz", false, "Content-Type: application/gz\n"},
        {"dir/", true, "Content-Type: text/html\n"},
        {"dir.v2/", true, "Content-Type: text/html\n"},
        {"dir.v2/README", false, "Content-Type: application/octet-stream\n"},
        {"README", false, "Content-Type: application/octet-stream\n"},
        {"a.", false, "Content-Type: application/octet-stream\n"},
        {"a.x\r\nSet-Cookie: 1", false, "Content-Type: application/octet-stream\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(ContentTypeLine(c.path, c.directory), c.line) << c.path;
}

TEST(DiskName, BreaksUpEveryDoubleDot) {
    struct Case {
        std::string root, path, name;
    } cases[] = {
        {"/srv/www", "a.txt", "/srv/www/a.txt"},
        {"/srv/www/", "", "/srv/www/"},
        {"/srv/www\\", "a", "/srv/www/a"},
        {"/srv/www", "../x", "/srv/www/ ./x"},
        {"/srv/www", ".../x", "/srv/www/  ./x"},
        {"/srv/www", "..\\..\\x", "/srv/www/ ./ ./x"},
        {"/srv/www", std::string(300, 'a') + "/../../x",
         "/srv/www/" + std::string(300, 'a') + "/ ./ ./x"},  // however long the name
        {"/srv/www", Sj(u8"表/a"), reinterpret_cast<const char*>(u8"/srv/www/表/a")},
    };
    for (const auto& c : cases) EXPECT_EQ(DiskName(c.root, c.path), c.name) << c.path;
}

}  // namespace
}  // namespace velmora
