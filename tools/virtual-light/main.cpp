// A light on a pseudo-terminal: for trying Tally without hardware, for checking a light's
// firmware protocol by hand, and for tests. It prints the terminal's path on the first line of
// standard output, then answers like the light and shows each state it is asked for.
//
//   tally-virtual-light [--plain | --quiet] [--show-log FILE] [--record FILE] [--firmware TEXT]
//                       [misbehaviour...]
//   tally-virtual-light --version | --help
//
// Each command is shown as a line with a swatch of its colour, and the bottom line is the light
// as it is now: a pulsing command breathes there, and off is drawn unmistakably dark.
// --show-log FILE shows the lines appended to FILE (Tally's activity log) among them.
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
#include <cmath>
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
    std::string showLog;
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

constexpr const char* usageText =
    "usage: tally-virtual-light [--plain | --quiet] [--show-log FILE] [--record FILE] [--record-times]\n"
    "                           [--firmware TEXT] [--pong TEXT] [--silent] [--delay MS] [--answer WORD]\n"
    "                           [--crlf] [--double] [--refuse-handshake] [--vanish-after N] [--garbage]\n"
    "                           [--babble]\n"
    "\n"
    "A light for Tally on a pseudo-terminal: prints the terminal's path on its first line, then\n"
    "answers Tally's commands as the light's firmware does and shows each colour as a swatch.\n"
    "Try it with: tally --port PATH (or any serial terminal on PATH).\n"
    "\n"
    "  --plain            one plain line per command, no colours\n"
    "  --quiet            nothing but the path\n"
    "  --show-log FILE    show the lines appended to FILE (Tally's activity log) too\n"
    "  --record FILE      append every line received to FILE (--record-times: with the time)\n"
    "  --firmware TEXT    the firmware version in the PONG answer (--pong TEXT: the whole answer)\n"
    "  --version          print the program's version and exit\n"
    "Misbehaving on purpose, for tests: --silent, --delay MS, --answer WORD, --crlf, --double,\n"
    "--refuse-handshake, --vanish-after N, --garbage, --babble.\n";

[[noreturn]] void usage(const char* problem) {
    std::fprintf(stderr, "tally-virtual-light: %s\n%s", problem, usageText);
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
        if (arg == "--help" || arg == "-h") {
            std::fputs(usageText, stdout);
            std::exit(0);
        } else if (arg == "--version" && (i + 1 >= argc || std::string(argv[i + 1]).starts_with("--"))) {
            std::printf("tally-virtual-light %s\n", TALLY_VERSION);
            std::exit(0);
        } else if (arg == "--plain") o.plain = true;
        else if (arg == "--show-log") o.showLog = value();
        else if (arg == "--quiet") o.quiet = true;
        else if (arg == "--record") o.record = value();
        else if (arg == "--record-times") o.recordTimes = true;
        else if (arg == "--firmware" || arg == "--version") o.version = value();  // --version TEXT: as it was
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

double seconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// What a person sees: a history of lines, and at the bottom the light as it is now, redrawn in
// place. Everything else is printed above that bottom line.
class Screen {
public:
    explicit Screen(const Options& o) : o_(o) {}

    void command(const std::string& line) {
        if (o_.quiet) return;
        if (o_.plain) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
            return;
        }
        if (line.starts_with("B ")) {
            brightness_ = std::atoi(line.c_str() + 2);
            above("          brightness " + std::to_string(brightness_) + " %");
        } else if (line == "OFF" || line.starts_with("C ") || line.starts_with("P ")) {
            current_ = line;
            since_ = seconds();
            above(swatch(line, 1.0) + "  " + describe(line));
        }  // PING: nothing to see
    }

    // Another line above the light (a line of Tally's log).
    void above(const std::string& text) {
        if (o_.quiet || o_.plain) return;
        std::printf("\r\x1b[2K%s\n", text.c_str());
        redraw();
    }

    // The bottom line again; for a pulse, at the moment's brightness.
    void redraw() {
        if (o_.quiet || o_.plain) return;
        std::string now = "  the light now: ";
        if (current_.empty()) {
            now += "waiting for Tally\u2026";
        } else {
            double level = 1.0;
            if (const auto v = numbers(current_.substr(1)); current_[0] == 'P' && v.size() >= 4 && v[3] > 0) {
                const double phase = std::fmod(seconds() - since_, v[3] / 1000.0) / (v[3] / 1000.0);
                level = 0.15 + 0.85 * (1 + std::cos(2 * M_PI * phase)) / 2;  // as the firmware breathes
            }
            now += swatch(current_, level) + "  " + describe(current_);
        }
        std::printf("\r\x1b[2K%s", now.c_str());
        std::fflush(stdout);
    }

    bool pulsing() const { return current_.starts_with("P "); }

private:
    // Off is a dark, hatched box, never a colour: nobody mistakes it for a dim blue.
    static std::string swatch(const std::string& line, double level) {
        if (line == "OFF") return "\x1b[2m\u2591\u2591\u2591\u2591\u2591\u2591\u2591\u2591\x1b[0m";
        const auto v = numbers(line.substr(1));
        if (v.size() < 3) return "        ";
        char text[64];
        std::snprintf(text, sizeof text, "\x1b[48;2;%d;%d;%dm        \x1b[0m", static_cast<int>(v[0] * level),
                      static_cast<int>(v[1] * level), static_cast<int>(v[2] * level));
        return text;
    }

    std::string describe(const std::string& line) const {
        const std::string what = line == "OFF" ? "off (dark)" : line[0] == 'P' ? line + " (pulsing)" : line;
        return what + "  (brightness " + std::to_string(brightness_) + ")";
    }

    const Options& o_;
    std::string current_;
    double since_ = 0;
    int brightness_ = 100;
};

// Follows a file as it grows (Tally's activity log, which may not exist yet), a line at a time.
class LogFollower {
public:
    explicit LogFollower(std::string path) : path_(std::move(path)) {}

    template <typename Show>
    void readNew(Show show) {
        if (path_.empty()) return;
        std::ifstream in(path_, std::ios::binary);
        if (!in) return;
        in.seekg(0, std::ios::end);
        const auto size = static_cast<long long>(in.tellg());
        if (size < offset_) offset_ = 0;  // started again
        in.seekg(offset_);
        std::string line;
        while (std::getline(in, line) && !in.eof()) {
            offset_ += static_cast<long long>(line.size()) + 1;
            // "yyyy-MM-dd HH:mm:ss message": the time of day is enough here.
            show("\x1b[2m" + (line.size() > 11 ? line.substr(11) : line) + "\x1b[0m");
        }
    }

private:
    std::string path_;
    long long offset_ = 0;
};

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

    Screen screen(o);
    LogFollower log(o.showLog);
    screen.redraw();
    std::string pending;
    long received = 0;
    for (;;) {
        pollfd waiting{master, POLLIN, 0};
        // Awake often enough to breathe a pulse and to follow the log; else only for input.
        const int timeout = screen.pulsing() ? 40 : !o.showLog.empty() ? 200 : -1;
        const int ready = ::poll(&waiting, 1, timeout);
        if (ready < 0 && errno != EINTR) break;
        log.readNew([&](const std::string& line) { screen.above(line); });
        if (ready <= 0) {
            if (screen.pulsing()) screen.redraw();
            continue;
        }
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
            screen.command(line);
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
