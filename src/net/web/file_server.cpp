// File mode of the web server. The request path is decoded, joined to the root and
// every ".." in the name is broken up, so no request reaches above the root; a symbolic
// link is followed only to a target inside the root. Each part of the path names the
// entry with exactly its bytes when there is one (so every name a listing shows, UTF-8
// or not, opens through its link); otherwise a part that is valid UTF-8 names its entry
// as it is, and any other is read as CP932. Files go out straight from the disk with
// sendfile.
#include "net/web/file_server.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "engine/text.h"
#include "net/shared/http_text.h"
#include "net/web/pages.h"
#include "net/web/state.h"

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

// Every link in the name resolved; empty when the name leads nowhere.
std::string RealName(const std::string& name) {
    char real[PATH_MAX];
    return realpath(name.c_str(), real) ? std::string(real) : std::string();
}

// The document root as the file system knows it, links resolved: what every name served
// must lie within. Empty when the root does not exist.
std::string RealRoot(const std::string& webroot) {
    return RealName(DiskName(webroot, ""));
}

bool Inside(const std::string& realRoot, const std::string& real) {
    if (realRoot.empty() || real.empty()) return false;
    if (realRoot == "/") return true;
    return real.compare(0, realRoot.size(), realRoot) == 0 &&
           (real.size() == realRoot.size() || real[realRoot.size()] == '/');
}

// True when the open file is the one the name reaches inside the root. Comparing the
// file itself, not only the name, keeps a link swapped in between from passing.
bool OpenedInside(const std::string& realRoot, const std::string& name, const struct stat& st) {
    const std::string real = RealName(name);
    struct stat there;
    return Inside(realRoot, real) && stat(real.c_str(), &there) == 0 && there.st_dev == st.st_dev &&
           there.st_ino == st.st_ino;
}

Opened OpenName(const std::string& name, const std::string& realRoot) {
    Opened o;
    int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return o;
    struct stat st;
    bool known = fstat(fd, &st) == 0 && OpenedInside(realRoot, name, st);
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

// True when a request for the entry would get it: a regular file we may read, or a
// folder we may list. A FIFO, a socket, a device or an entry of mode 000 would only
// give the not-found page.
bool Servable(const std::string& full, const struct stat& st) {
    if (S_ISREG(st.st_mode)) return faccessat(AT_FDCWD, full.c_str(), R_OK, AT_EACCESS) == 0;
    if (S_ISDIR(st.st_mode)) return faccessat(AT_FDCWD, full.c_str(), R_OK | X_OK, AT_EACCESS) == 0;
    return false;
}

// The entries of a directory that a request can reach, sorted by name; false when it
// cannot be read. An entry is left out when its link would not lead back to it: a link
// to outside the root or to nothing, or a name no request can spell (one holding "..");
// and when it is nothing the server can open.
bool ReadDirectory(const std::string& webroot, const std::string& realRoot,
                   const std::string& folder, const std::string& decodedPath,
                   std::vector<Entry>& entries) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return false;
    while (dirent* d = readdir(dir)) {
        std::string name = d->d_name;
        if (name == "." || name == "..") continue;
        std::string full = folder + name;
        struct stat st;
        if (DiskName(webroot, decodedPath + name) != full || stat(full.c_str(), &st) != 0 ||
            !Inside(realRoot, RealName(full)) || !Servable(full, st))
            continue;
        entries.push_back(Entry{name, S_ISDIR(st.st_mode), static_cast<std::uint64_t>(st.st_size)});
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return true;
}

std::string ListingRow(const Entry& e) {
    const WebTexts& t = Texts();
    std::string link = PercentEncode(e.name);
    std::string shown = HtmlEscape(PageText(e.name));
    if (e.directory) return t.folderRow + link + t.folderRowEnd + shown + t.rowEnd;
    std::string size = e.size < 1000 ? std::to_string(e.size) + t.fileRowBytes
                                     : std::to_string(e.size / 1000) + t.fileRowKb;
    return "[" + size + link + t.fileRowMiddle + shown + t.rowEnd;
}

void SendListing(Connection& c, const std::string& webroot, const std::string& realRoot,
                 const std::string& folder, const std::string& decodedPath) {
    const WebTexts& t = Texts();
    std::string title = HtmlEscape(PageText(decodedPath));
    std::string out =
        PageHeader() + t.listingTitle + title + t.listingMiddle + title + t.listingHeadEnd;
    std::vector<Entry> entries;
    if (!ReadDirectory(webroot, realRoot, folder, decodedPath, entries)) out += t.noDirectory;
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

namespace {

// Breaks up every ".." so that no name climbs above where it starts.
void BreakUpDoubleDots(std::string& name) {
    for (size_t i = 0; i + 1 < name.size(); ++i)
        if (name[i] == '.' && name[i + 1] == '.') name[i] = ' ';
}

// A part of a request path as a name on disk when no entry has exactly its bytes:
// backslashes separate folders as "/" does, and a part that is not UTF-8 is CP932.
std::string ReadPart(const std::string& part) {
    if (!IsValidUtf8(part)) return NativePath(part);
    std::string name = part;
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

}  // namespace

std::string DiskName(const std::string& webroot, const std::string& decodedPath) {
    std::string name = NativePath(webroot);
    if (!EndsWithSlash(name)) name += '/';
    BreakUpDoubleDots(name);
    // Part by part, so that each part is looked up in the folder the parts before it
    // named; the ".." are broken up before any lookup.
    for (size_t start = 0; start <= decodedPath.size();) {
        size_t end = decodedPath.find('/', start);
        if (end == std::string::npos) end = decodedPath.size();
        std::string part = decodedPath.substr(start, end - start);
        BreakUpDoubleDots(part);
        struct stat st;
        const std::string exact = name + part;
        if (!part.empty() && lstat(exact.c_str(), &st) == 0)
            name = exact;
        else
            name += ReadPart(part);
        if (end < decodedPath.size()) name += '/';
        start = end + 1;
    }
    // The rule that keeps requests below the root, checked on the name as it will be used.
    BreakUpDoubleDots(name);
    return name;
}

void ServeFiles(const std::string& request, Connection& c, const std::string& webroot) {
    RequestTarget target = ParseRequestTarget(request);
    if (!target.found) return;
    std::string path = target.path;
    UrlDecode(path);
    const std::string name = DiskName(webroot, path);
    const std::string realRoot = RealRoot(webroot);
    if (!EndsWithSlash(name)) {
        Opened o = OpenName(name, realRoot);
        if (o.kind == Opened::Directory) return SendRedirect(c, path);
        if (o.kind == Opened::File) return SendFile(c, o, path, false);
        return SendNotFound(c, path);
    }
    // A directory request: its index file, or else its listing. A folder that exists
    // only through a link to outside the root is not there.
    const std::string realFolder = RealName(name);
    if (!realFolder.empty() && !Inside(realRoot, realFolder)) return SendNotFound(c, path);
    Opened index = OpenName(name + "index.html", realRoot);
    if (index.kind != Opened::File) index = OpenName(name + "index.htm", realRoot);
    if (index.kind == Opened::File) return SendFile(c, index, path, true);
    SendListing(c, webroot, realRoot, name, path);
}

}  // namespace velmora
