// File mode of the web server. The request path is decoded, joined to the root and
// every ".." in the name is broken up, so no request reaches above the root. File names
// on disk are UTF-8: a path that is valid UTF-8 names its file as it is, any other is
// read as CP932. Files go out straight from the disk with sendfile.
#include "net/file_server.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "engine/text.h"
#include "net/escape.h"
#include "net/request.h"
#include "net/web_pages.h"
#include "net/web_texts.h"

namespace velmora {

namespace {

constexpr size_t kListingFlush = 16 << 10;

bool EndsWithSlash(const std::string& s) {
    return !s.empty() && s.back() == '/';
}

std::string FileHeader(const std::string& typeLine, std::uint64_t size) {
    const WebTexts& t = Texts();
    return t.status200 + t.mime + t.server + typeLine + "Content-Length: " + std::to_string(size) +
           "\n\n";
}

// What a name opened as: a regular file (fd and size), a directory, or nothing usable
// (missing, or a FIFO or device that a server must not read).
struct Opened {
    enum Kind { Missing, File, Directory } kind = Missing;
    int fd = -1;
    std::uint64_t size = 0;
};

Opened OpenName(const std::string& name) {
    Opened o;
    int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return o;
    struct stat st;
    bool known = fstat(fd, &st) == 0;
    if (known && S_ISREG(st.st_mode)) return {Opened::File, fd, std::uint64_t(st.st_size)};
    if (known && S_ISDIR(st.st_mode)) o.kind = Opened::Directory;
    close(fd);
    return o;
}

void SendRedirect(Connection& c, const std::string& decodedPath) {
    const WebTexts& t = Texts();
    c.send(t.status301 + t.mime + t.server + "Location: /" + PercentEncode(decodedPath, true) +
           "/\n\n");
}

void SendNotFound(Connection& c, const std::string& decodedPath) {
    const WebTexts& t = Texts();
    c.send(PageHeader() + t.notFoundHead + HtmlEscape(PageText(decodedPath)) + t.notFoundFoot);
}

struct Entry {
    std::string name;  // as on disk
    bool directory = false;
    std::uint64_t size = 0;
};

// The entries of a directory, sorted by name; false when it cannot be read.
bool ReadDirectory(const std::string& folder, std::vector<Entry>& entries) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return false;
    while (dirent* d = readdir(dir)) {
        std::string name = d->d_name;
        if (name == "." || name == "..") continue;
        Entry e{name};
        struct stat st;
        std::string full = folder + name;
        if (stat(full.c_str(), &st) == 0 || lstat(full.c_str(), &st) == 0) {
            e.directory = S_ISDIR(st.st_mode);
            e.size = static_cast<std::uint64_t>(st.st_size);
        }
        entries.push_back(std::move(e));
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return true;
}

std::string ListingRow(const Entry& e) {
    const WebTexts& t = Texts();
    std::string link = PercentEncode(e.name);
    std::string shown = HtmlEscape(Utf8ToCp932(e.name));
    if (e.directory) return t.folderRow + link + t.folderRowEnd + shown + t.rowEnd;
    std::string size = e.size < 1000 ? std::to_string(e.size) + t.fileRowBytes
                                     : std::to_string(e.size / 1000) + t.fileRowKb;
    return "[" + size + link + t.fileRowMiddle + shown + t.rowEnd;
}

void SendListing(Connection& c, const std::string& folder, const std::string& decodedPath) {
    const WebTexts& t = Texts();
    std::string title = HtmlEscape(PageText(decodedPath));
    std::string out =
        PageHeader() + t.listingTitle + title + t.listingMiddle + title + t.listingHeadEnd;
    std::vector<Entry> entries;
    if (!ReadDirectory(folder, entries)) out += t.noDirectory;
    for (const Entry& e : entries) {
        out += ListingRow(e);
        if (out.size() >= kListingFlush) {
            if (!c.send(out)) return;
            out.clear();
        }
    }
    c.send(out + t.listingFoot);
}

void SendFile(Connection& c, const Opened& file, const std::string& decodedPath,
              bool directoryRequest) {
    std::string header = FileHeader(ContentTypeLine(decodedPath, directoryRequest), file.size);
    if (c.send(header, file.size > 0)) c.sendFile(file.fd, file.size);
    close(file.fd);
}

}  // namespace

std::string ContentTypeLine(const std::string& decodedPath, bool directoryRequest) {
    static const struct {
        const char* extension;
        const char* type;
    } kTypes[] = {
        {".jpg", "image/jpeg"}, {".jpeg", "image/jpeg"}, {".txt", "text/plain; charset=x-sjis"},
        {".gif", "image/gif"},  {".htm", "text/html"},   {".html", "text/html"}};
    size_t dot = decodedPath.rfind('.');
    std::string extension = dot == std::string::npos ? std::string() : decodedPath.substr(dot);
    for (const auto& k : kTypes)
        if (extension == k.extension) return std::string("Content-Type: ") + k.type + "\n";
    if (directoryRequest) return "Content-Type: text/html\n";
    // Only a real extension makes a type; a name without one, or with bytes that do not
    // belong in a header line, is plain data.
    bool usable = extension.size() > 1 && extension.find('/') == std::string::npos;
    for (size_t i = 1; usable && i < extension.size(); ++i) {
        unsigned char ch = extension[i];
        usable = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
                 ch == '-' || ch == '+' || ch == '_' || ch == '.';
    }
    return "Content-Type: application/" + (usable ? extension.substr(1) : "octet-stream") + "\n";
}

std::string DiskName(const std::string& webroot, const std::string& decodedPath) {
    std::string name = NativePath(webroot);
    if (!EndsWithSlash(name)) name += '/';
    if (IsValidUtf8(decodedPath)) {
        std::string path = decodedPath;
        std::replace(path.begin(), path.end(), '\\', '/');
        name += path;
    } else {
        name += NativePath(decodedPath);
    }
    // The whole name, however long: a ".." left anywhere could climb above the root.
    for (size_t i = 0; i + 1 < name.size(); ++i)
        if (name[i] == '.' && name[i + 1] == '.') name[i] = ' ';
    return name;
}

void ServeFiles(const std::string& request, Connection& c, const std::string& webroot) {
    RequestTarget target = ParseRequestTarget(request);
    if (!target.found) return;
    std::string path = target.path;
    UrlDecode(path);
    std::string name = DiskName(webroot, path);
    if (!EndsWithSlash(name)) {
        Opened o = OpenName(name);
        if (o.kind == Opened::Directory) return SendRedirect(c, path);
        if (o.kind == Opened::File) return SendFile(c, o, path, false);
        return SendNotFound(c, path);
    }
    // A directory request: its index file, or else its listing.
    Opened index = OpenName(name + "index.html");
    if (index.kind != Opened::File) index = OpenName(name + "index.htm");
    if (index.kind == Opened::File) return SendFile(c, index, path, true);
    SendListing(c, name, path);
}

}  // namespace velmora
