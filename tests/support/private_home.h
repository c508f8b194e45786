// A private HOME and XDG folders for a whole test process, so that no test reads or
// writes the user's own (Qt's settings, chromium's profile, desktop entries, caches).
// The test programs' main sets it up once before any test runs; a test that needs
// another HOME sets its own with ScopedEnv and says why.
#pragma once

#include <string>

namespace velmora::test {

class PrivateHome {
public:
    // Creates the folders under the temporary folder and points the variables at them.
    PrivateHome();
    ~PrivateHome();  // removes them again
    PrivateHome(const PrivateHome&) = delete;
    PrivateHome& operator=(const PrivateHome&) = delete;
    bool ok() const { return !root_.empty(); }
    const std::string& root() const { return root_; }

private:
    std::string root_;
};

}  // namespace velmora::test
