#ifndef PLAINTEST_H
#define PLAINTEST_H

// A minimal test harness for the Qt-free code that is also cross-built for
// Windows and run under wine, where QtTest is not available.
//
//   PLAINTEST(connectFailsWithoutArea) { ... PT_CHECK(cond); PT_COMPARE(a, b); }
//   PLAINTEST_MAIN()
//
// A failed check ends its test case; the program prints one line per case and
// closes with "N passed, N failed", exiting non-zero on any failure.

#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace PlainTest {

struct Case
{
    const char *name;
    std::function<void()> body;
};

inline std::vector<Case> &registry()
{
    static std::vector<Case> cases;
    return cases;
}

struct Failure
{
    std::string message;
};

struct Registrar
{
    Registrar(const char *name, std::function<void()> body) { registry().push_back({name, std::move(body)}); }
};

template <typename T>
std::string show(const T &value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

inline std::string show(const unsigned char &value) { return std::to_string(value); }
inline std::string show(const signed char &value) { return std::to_string(value); }
inline std::string show(std::nullptr_t) { return "nullptr"; }

[[noreturn]] inline void fail(const char *file, int line, const std::string &what)
{
    throw Failure{std::string(file) + ":" + std::to_string(line) + ": " + what};
}

template <typename A, typename B>
void compare(const A &actual, const B &expected, const char *actualText, const char *expectedText,
             const char *file, int line)
{
    if (!(actual == expected))
        fail(file, line,
             std::string(actualText) + " == " + expectedText + "\n    actual:   " + show(actual)
                 + "\n    expected: " + show(expected));
}

inline int runAll(int argc, char **argv)
{
    int passed = 0;
    int failed = 0;
    for (const Case &c : registry()) {
        if (argc > 1 && std::strcmp(argv[1], c.name) != 0)
            continue;
        try {
            c.body();
            ++passed;
            std::printf("PASS   : %s\n", c.name);
        } catch (const Failure &f) {
            ++failed;
            std::printf("FAIL!  : %s\n   %s\n", c.name, f.message.c_str());
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}

} // namespace PlainTest

#define PLAINTEST_CAT2(a, b) a##b
#define PLAINTEST_CAT(a, b) PLAINTEST_CAT2(a, b)

#define PLAINTEST(name)                                                                        \
    static void name();                                                                        \
    static const PlainTest::Registrar PLAINTEST_CAT(registrar_, name)(#name, name);            \
    static void name()

#define PT_CHECK(cond)                                                                         \
    do {                                                                                       \
        if (!(cond))                                                                           \
            PlainTest::fail(__FILE__, __LINE__, "check failed: " #cond);                       \
    } while (0)

#define PT_COMPARE(actual, expected)                                                           \
    PlainTest::compare((actual), (expected), #actual, #expected, __FILE__, __LINE__)

#define PLAINTEST_MAIN()                                                                       \
    int main(int argc, char **argv) { return PlainTest::runAll(argc, argv); }

#endif // PLAINTEST_H
