// Shared by the test plug-ins: appends one line to the file named by
// VELMORA_TEST_PLUGIN_LOG, so that tests see calls even after the library is gone.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "velmora/plugin_api.h"

static inline void Record(const std::string& line) {
    const char* path = std::getenv("VELMORA_TEST_PLUGIN_LOG");
    if (!path) return;
    if (std::FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

// Every test plug-in says when it is mapped and unmapped, and under which name.
#define RECORD_LIFETIME(name)                            \
    __attribute__((constructor)) static void Loaded() {  \
        Record(name " loaded");                          \
    }                                                    \
    __attribute__((destructor)) static void Unloaded() { \
        Record(name " unloaded");                        \
    }
