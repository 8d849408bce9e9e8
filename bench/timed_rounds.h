// The command line and timing that the appending references share:
//
//   PROGRAM ARCHIVE COUNT
//
// runs round(ARCHIVE, i) for i = 1..COUNT, stops at the first that fails,
// and prints the seconds the rounds took.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>

// Runs the rounds as above; the exit status for main.
inline int RunTimedRounds(int argc, char **argv, bool (*round)(const char *archive, int i)) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ARCHIVE COUNT\n", argv[0]);
        return 2;
    }
    const int count = std::atoi(argv[2]);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 1; i <= count; i++) {
        if (!round(argv[1], i)) {
            std::fprintf(stderr, "%s: writing %s failed\n", argv[0], argv[1]);
            return 1;
        }
    }
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", taken.count());
    return 0;
}
