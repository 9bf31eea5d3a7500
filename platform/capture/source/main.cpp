// sentorix-source: receives and decodes one network camera or video file for
// the recorder, which starts it, gives it the address on standard input and
// maps its frames from shared memory. See SourceDecoder.h for the protocol.

#include "SourceDecoder.h"

#include <sys/prctl.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true; // the sanitizer's shadow memory counts as data
#else
constexpr bool sanitized = false;
#endif

void limitMemory(std::uint64_t megabytes) {
    if (megabytes == 0 || sanitized)
        return;
    // The data limit counts what the decoder allocates and writes, not the
    // shared memory the frames go out through nor address space only reserved.
    const rlimit limit{megabytes << 20, megabytes << 20};
    setrlimit(RLIMIT_DATA, &limit);
}

int usage() {
    std::fputs("usage: sentorix-source --fps N [--size WxH] [--socket PATH --shared-frames N] "
               "[--memory-mb N] < address\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    // Never outlive the recorder that reads the frames.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    SourceDecoder::Settings settings;
    std::uint64_t memoryMegabytes = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const char* value = argv[i + 1];
        if (option == "--fps")
            settings.framesPerSecond = std::atoi(value);
        else if (option == "--size" &&
                 std::sscanf(value, "%dx%d", &settings.width, &settings.height) != 2)
            return usage();
        else if (option == "--socket")
            settings.socketPath = value;
        else if (option == "--shared-frames")
            settings.sharedFrames = std::max(2, std::atoi(value));
        else if (option == "--memory-mb")
            memoryMegabytes = std::strtoull(value, nullptr, 10);
    }
    if (settings.framesPerSecond <= 0 || settings.framesPerSecond > 60)
        return usage();
    // The address comes on standard input: an argument would show its
    // password to every user of the machine.
    char line[8192];
    if (std::fgets(line, sizeof line, stdin) == nullptr)
        return usage();
    settings.url = line;
    while (!settings.url.empty() && (settings.url.back() == '\n' || settings.url.back() == '\r'))
        settings.url.pop_back();

    limitMemory(memoryMegabytes);
    gst_init(nullptr, nullptr);
    return SourceDecoder(settings).run();
}
