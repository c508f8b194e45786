// The web server's file mode: files below the document root, index files, the redirect
// that adds a missing "/" to a directory, directory listings and the not-found page.
#pragma once

#include <string>

#include "net/web/connection.h"

namespace velmora {

// Answers one request from the files below webroot (CP932, as the script set it). The
// caller closes the connection.
void ServeFiles(const std::string& request, Connection& c, const std::string& webroot);

// The Content-Type line for a file, decided on the decoded request path.
std::string ContentTypeLine(const std::string& decodedPath, bool directoryRequest);

// The disk name of a decoded request path below webroot, with every ".." broken up. Each
// part names the entry with exactly its bytes when the folder before it holds one.
std::string DiskName(const std::string& webroot, const std::string& decodedPath);

}  // namespace velmora
