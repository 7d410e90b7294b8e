// A light on a pseudo-terminal: for trying Tally without hardware, for checking a light's
// firmware protocol by hand, and for tests. It prints the terminal's path on the first line of
// standard output, then answers like the light and shows each state it is asked for.
//
//   virtual-light [--plain | --quiet] [--record FILE] [--version TEXT] [misbehaviour...]
//
// --plain shows one line per command instead of a swatch; --quiet shows nothing but the path.
// --pong TEXT answers PING with TEXT exactly, for versions with odd separators.
// --record-times puts the monotonic clock's seconds before each recorded line.
//
// Misbehaviour, for tests: --silent (never answer), --delay MS (answer late), --answer WORD
// (answer commands with WORD instead of OK), --crlf (end answers with CR LF), --double (send
// every answer twice in one write), --refuse-handshake (answer PING with OK), --vanish-after N
// (close the terminal after N lines), --garbage (answer with bytes that are not UTF-8),
// --babble (answer with 64 KiB without a line feed).
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <time.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct Options {
    bool plain = false;
    bool quiet = false;
    std::string record;
    bool recordTimes = false;
    std::string version = "1.0";
    std::string pong;  // the whole handshake answer, when set
    bool silent = false;
    int delayMs = 0;
    std::string answer = "OK";
    bool crlf = false;
    bool twice = false;
    bool refuseHandshake = false;
    long vanishAfter = -1;
    bool garbage = false;
    bool babble = false;
};

[[noreturn]] void usage(const char* problem) {
    std::fprintf(stderr, "virtual-light: %s\n", problem);
    std::fprintf(stderr,
                 "usage: virtual-light [--plain | --quiet] [--record FILE] [--record-times] [--version TEXT] [--pong TEXT] [--silent]\n"
                 "       [--delay MS] [--answer WORD] [--crlf] [--double] [--refuse-handshake]\n"
                 "       [--vanish-after N] [--garbage] [--babble]\n");
    std::exit(2);
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage((arg + " needs a value").c_str());
            return argv[++i];
        };
        if (arg == "--plain") o.plain = true;
        else if (arg == "--quiet") o.quiet = true;
        else if (arg == "--record") o.record = value();
        else if (arg == "--record-times") o.recordTimes = true;
        else if (arg == "--version") o.version = value();
        else if (arg == "--pong") o.pong = value();
        else if (arg == "--silent") o.silent = true;
        else if (arg == "--delay") o.delayMs = std::atoi(value().c_str());
        else if (arg == "--answer") o.answer = value();
        else if (arg == "--crlf") o.crlf = true;
        else if (arg == "--double") o.twice = true;
        else if (arg == "--refuse-handshake") o.refuseHandshake = true;
        else if (arg == "--vanish-after") o.vanishAfter = std::atol(value().c_str());
        else if (arg == "--garbage") o.garbage = true;
        else if (arg == "--babble") o.babble = true;
        else usage(("unknown option " + arg).c_str());
    }
    return o;
}

std::vector<int> numbers(const std::string& rest) {
    std::istringstream in(rest);
    std::vector<int> values;
    for (int v; in >> v;) values.push_back(v);
    return values;
}

// What a person sees: a swatch in the commanded colour, or one plain line.
void show(const Options& o, const std::string& line, int brightness) {
    if (o.quiet) return;
    if (o.plain) {
        std::printf("%s\n", line.c_str());
    } else if (line == "OFF") {
        std::printf("\r\x1b[2K  \x1b[48;2;30;30;30m        \x1b[0m  off            (brightness %d)\n",
                    brightness);
    } else if (line.size() > 2 && (line[0] == 'C' || line[0] == 'P') && line[1] == ' ') {
        const auto v = numbers(line.substr(2));
        if (v.size() >= 3)
            std::printf("\r\x1b[2K  \x1b[48;2;%d;%d;%dm        \x1b[0m  %-16s %s(brightness %d)\n",
                        v[0], v[1], v[2], line.c_str(), line[0] == 'P' ? "pulsing " : "",
                        brightness);
    } else if (line.starts_with("B ")) {
        std::printf("  brightness %s\n", line.c_str() + 2);
    }
    std::fflush(stdout);
}

std::string answerTo(const Options& o, const std::string& line) {
    if (o.babble) return std::string(64 * 1024, 'x');
    if (o.garbage) return "\xFF\xFE\xC3(";
    if (line == "PING" && !o.refuseHandshake && !o.pong.empty()) return o.pong;
    if (line == "PING" && !o.refuseHandshake)
        return o.version.empty() ? "PONG" : "PONG " + o.version;
    return o.answer;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("virtual-light: cannot open a pseudo-terminal");
        return 1;
    }
    const char* name = ::ptsname(master);
    // Keep one end of the terminal open ourselves, so that it survives Tally closing and
    // reopening it, and make it raw as a USB serial port is.
    const int keep = ::open(name, O_RDWR | O_NOCTTY);
    termios raw{};
    ::tcgetattr(keep, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(keep, TCSANOW, &raw);
    std::printf("%s\n", name);
    std::fflush(stdout);

    std::ofstream record;
    if (!o.record.empty()) record.open(o.record, std::ios::app);

    std::string pending;
    long received = 0;
    int brightness = 100;
    for (;;) {
        pollfd waiting{master, POLLIN, 0};
        if (::poll(&waiting, 1, -1) < 0 && errno != EINTR) break;
        char buffer[256];
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            // Nobody holds the other end (it cannot happen while we keep it open); wait.
            ::usleep(10'000);
            continue;
        }
        pending.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (record.is_open()) {
                if (o.recordTimes) {
                    timespec now{};
                    ::clock_gettime(CLOCK_MONOTONIC, &now);
                    record << now.tv_sec << '.' << std::to_string(1'000'000'000 + now.tv_nsec).substr(1)
                           << ' ';
                }
                record << line << std::endl;
            }
            if (line.starts_with("B ")) brightness = std::atoi(line.c_str() + 2);
            show(o, line, brightness);
            if (o.vanishAfter >= 0 && ++received >= o.vanishAfter) {
                ::close(master);
                ::close(keep);
                return 0;
            }
            if (o.silent) continue;
            if (o.delayMs > 0) ::usleep(static_cast<useconds_t>(o.delayMs) * 1000);
            std::string reply = answerTo(o, line) + (o.babble ? "" : o.crlf ? "\r\n" : "\n");
            if (o.twice) reply += reply;
            if (::write(master, reply.data(), reply.size()) < 0) break;
        }
    }
    return 0;
}
