#ifndef TQ7310_TESTS_WINDOWS_WINTEST_H
#define TQ7310_TESTS_WINDOWS_WINTEST_H
// A test runner small enough to need nothing but the C++ library: each case
// is a function, each check prints where it failed, and the run ends with
// "N passed, N failed" over the cases and exits 1 on any failure.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace wintest {

struct Case {
    const char* name;
    std::function<void()> body;
};

inline int& failedChecks() {
    static int n = 0;
    return n;
}

inline bool check(bool ok, const char* what, const char* file, int line) {
    if (!ok) {
        ++failedChecks();
        std::printf("    FAILED %s (%s:%d)\n", what, file, line);
        std::fflush(stdout);
    }
    return ok;
}

inline bool checkEqual(long long actual, long long expected, const char* what, const char* file,
                       int line) {
    if (actual != expected) {
        ++failedChecks();
        std::printf("    FAILED %s: got %lld, expected %lld (%s:%d)\n", what, actual, expected,
                    file, line);
        std::fflush(stdout);
    }
    return actual == expected;
}

// Asks the harness on the Linux side to act (stop the simulator, take the
// device away...) and waits for its "ok". The harness reads our standard
// output, so the request goes there, marked.
inline bool control(const std::string& request) {
    std::printf("@control %s\n", request.c_str());
    std::fflush(stdout);
    char reply[256];
    if (std::fgets(reply, sizeof reply, stdin) == nullptr) {
        return false;
    }
    return std::strncmp(reply, "ok", 2) == 0;
}

inline long long msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

inline int run(const std::vector<Case>& cases, const char* only) {
    int passed = 0;
    int failed = 0;
    for (const Case& c : cases) {
        if (only != nullptr && std::strcmp(only, c.name) != 0) {
            continue;
        }
        const int before = failedChecks();
        const auto start = std::chrono::steady_clock::now();
        c.body();
        const bool ok = failedChecks() == before;
        std::printf("%s %s (%lld ms)\n", ok ? "PASS" : "FAIL", c.name, msSince(start));
        std::fflush(stdout);
        ++(ok ? passed : failed);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}

}  // namespace wintest

#define CHECK(cond) wintest::check((cond), #cond, __FILE__, __LINE__)
#define CHECK_EQ(actual, expected) \
    wintest::checkEqual((actual), (expected), #actual, __FILE__, __LINE__)

#endif
