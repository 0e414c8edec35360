// The server's configuration file, read from arbitrary bytes. Config::read() promises to report
// every problem in its list and hand back what it could read: it must never throw or crash.
#include "Config.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

extern char **environ;

namespace {

// One in-memory file, rewritten for each input, so no run leaves files behind.
int s_file = -1;
std::string s_path;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // The environment overrides the file; only the file's bytes should decide what is read.
    std::vector<std::string> names;
    for (char **entry = environ; *entry; ++entry) {
        const std::string variable(*entry);
        if (variable.rfind("PINDLE_", 0) == 0)
            names.push_back(variable.substr(0, variable.find('=')));
    }
    for (const std::string &name : names)
        unsetenv(name.c_str());

    s_file = memfd_create("pindle-config", 0);
    if (s_file < 0) {
        std::perror("memfd_create");
        std::abort();
    }
    s_path = "/proc/self/fd/" + std::to_string(s_file);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (ftruncate(s_file, 0) != 0 || pwrite(s_file, data, size, 0) != ssize_t(size)) {
        std::perror("writing the configuration file");
        std::abort();
    }
    std::vector<std::string> problems;
    const pindle::Config config = pindle::Config::read(s_path, problems);
    // A problem may quote the file (an unknown setting's name): only words the file did not
    // bring are the library's.
    const bool quotable =
        std::string_view(reinterpret_cast<const char *>(data), size).find("json.exception") !=
        std::string_view::npos;
    for (const std::string &problem : problems) {
        if (problem.empty()) {
            std::fputs("Config::read() reported an empty problem\n", stderr);
            std::abort();
        }
        if (!quotable && problem.find("json.exception") != std::string::npos) {
            std::fprintf(stderr, "a problem in the JSON library's words: %s\n", problem.c_str());
            std::abort();
        }
    }
    // What the server goes on to do with the settings it read.
    const std::int64_t now = std::time(nullptr);
    if (config.sessionExpiry(now) <= now) {
        std::fputs("a session would end before it starts\n", stderr);
        std::abort();
    }
    (void)config.warnings();
    return 0;
}
