// Writes registry values from a separate process, for the store's
// concurrency and crash tests.
//   registry_writer many KEY PREFIX COUNT   values PREFIX0..PREFIX<COUNT-1> = "<PREFIX><i>"
//   registry_writer loop KEY NAME SIZE      rewrites NAME forever with SIZE bytes of
//                                          one letter, cycling a..z
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: registry_writer many|loop KEY NAME N\n");
        return 2;
    }
    std::string mode = argv[1], key = argv[2], name = argv[3];
    long count = std::strtol(argv[4], nullptr, 10);
    if (mode == "many") {
        for (long i = 0; i < count; ++i) {
            std::string value = name + std::to_string(i);
            if (!platform::registryWrite(key, value, value)) {
                std::fprintf(stderr, "write %ld failed\n", i);
                return 1;
            }
        }
        return 0;
    }
    for (long round = 0;; ++round) {
        std::string value(static_cast<size_t>(count), static_cast<char>('a' + round % 26));
        platform::registryWrite(key, name, value);
    }
}
