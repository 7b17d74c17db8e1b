// Load and fault soak: feedsim with 10,000 symbols and 20,000 row updates a second, faults
// (dropped connections, garbage, oversized messages, restarts) against tickerdeck in a
// pseudo-terminal, while keys are typed and their effect on screen is timed.
//
//   soak [seconds]      (default 120)
//
// Prints its figures and exits non-zero when memory keeps growing, a key is lost, the worst
// key latency exceeds 250 ms, or the program stops or leaves the terminal in a bad state.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/pty_session.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr uint16_t kCols = 120, kRows = 40;
constexpr int kTabBarRow = 7;
constexpr int kFooterRow = kRows - 2;
constexpr uint64_t kPageHeight = kRows - 12;
constexpr auto kWorstAllowed = 250ms;
constexpr auto kKeyTimeout = 3s;

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// feedsim as a child process; its first stderr line names the listening URL.
class Feedsim {
 public:
  // Each run of feedsim ends its connections one way: alternately by dropping them and by
  // sending a message over tickerdeck's size limit; garbage comes throughout.
  enum class Fault { Drop, Oversize };

  explicit Feedsim(uint16_t port, Fault fault) { start(port, fault); }
  ~Feedsim() { stop(); }

  void start(uint16_t port, Fault fault) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(pipe_fds[1], 2);
      ::close(pipe_fds[0]);
      ::close(pipe_fds[1]);
      const std::string port_text = std::to_string(port);
      const char* fault_option = fault == Fault::Drop ? "--drop-every" : "--oversize-every";
      // 40 updates of 500 rows a second: 20,000 row updates a second.
      ::execl(FEEDSIM_BINARY, "feedsim", "--port", port_text.c_str(), "--symbols", "10000", "--rate", "40",
              "--batch", "500", "--snapshot-interval", "10", fault_option, "12", "--garbage-every", "3", "-q",
              static_cast<char*>(nullptr));
      std::_Exit(127);
    }
    ::close(pipe_fds[1]);
    std::string line;
    char c;
    while (::read(pipe_fds[0], &c, 1) == 1 && c != '\n') line.push_back(c);
    // Keep the pipe open but unread; feedsim is quiet after its first line.
    err_fd_ = pipe_fds[0];
    const auto at = line.find("ws://");
    if (at == std::string::npos) {
      std::fprintf(stderr, "soak: feedsim did not start: %s\n", line.c_str());
      std::exit(1);
    }
    url_ = line.substr(at, line.find(' ', at) - at);
    port_ = uint16_t(std::stoi(url_.substr(url_.rfind(':') + 1)));
  }

  void stop() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    if (err_fd_ >= 0) ::close(err_fd_);
    err_fd_ = -1;
  }

  const std::string& url() const { return url_; }
  uint16_t port() const { return port_; }

 private:
  pid_t pid_ = -1;
  int err_fd_ = -1;
  std::string url_;
  uint16_t port_ = 0;
};

struct ProcStat {
  double cpu_seconds = 0;
  long rss_kb = 0;
  long hwm_kb = 0;
};

ProcStat read_proc(pid_t pid) {
  ProcStat s;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  if (close != std::string::npos) {
    std::istringstream fields(text.substr(close + 2));
    std::string f;
    unsigned long utime = 0, stime = 0;
    for (int i = 3; fields >> f; ++i) {
      if (i == 14) utime = std::stoul(f);
      if (i == 15) {
        stime = std::stoul(f);
        break;
      }
    }
    s.cpu_seconds = double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
  }
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) s.rss_kb = std::stol(line.substr(6));
    if (line.rfind("VmHWM:", 0) == 0) s.hwm_kb = std::stol(line.substr(6));
  }
  return s;
}

// The screen as the soak reads it.
struct View {
  explicit View(e2e::PtySession& s) : s(s) {}
  e2e::PtySession& s;

  // Column of the first character of tab `n`'s label (1..9) on the tab bar.
  static int tab_column(int n) {
    static const char* labels[] = {"[1:Volume]", "[2:Gainers]", "[3:Losers]", "[4:Gaps]", "[5:Active]",
                                   "[6:HOD]", "[7:Vol/Min]", "[8:All]", "[9:AH]"};
    int col = 1;
    for (int i = 1; i < n; ++i) col += int(std::string(labels[i - 1]).size()) + 1;
    return col;
  }
  bool tab_active(int n) const {
    const auto cell = s.cell(kTabBarRow, tab_column(n) + 1);
    return cell.bg == e2e::CellColor::indexed(n == 9 ? 6 : 15);
  }
  // The footer's "first/total".
  std::optional<std::pair<uint64_t, uint64_t>> position() const {
    const std::string row = s.row_text(kFooterRow);
    const auto quit = row.find("q:quit  ");
    if (quit == std::string::npos) return std::nullopt;
    uint64_t a = 0, b = 0;
    if (std::sscanf(row.c_str() + quit + 8, "%lu/%lu", &a, &b) != 2) return std::nullopt;
    return std::make_pair(a, b);
  }
  std::string tab_bar() const { return s.row_text(kTabBarRow); }
  bool connected() const { return s.row_text(1).find(" Connected ") != std::string::npos; }
};

struct Key {
  std::string name;
  std::string bytes;
  std::function<bool(const View&)> effect;
};

}  // namespace

int main(int argc, char** argv) {
  const double duration = argc > 1 ? std::atof(argv[1]) : 120.0;
  if (duration <= 0) {
    std::fprintf(stderr, "usage: soak [seconds]\n");
    return 2;
  }
  ::signal(SIGPIPE, SIG_IGN);

  Feedsim::Fault fault = Feedsim::Fault::Drop;
  Feedsim feed(0, fault);
  e2e::SpawnOptions options;
  options.cols = kCols;
  options.rows = kRows;
  options.args = {"--url", feed.url()};
  e2e::PtySession session(options);
  View view(session);
  const pid_t pid = session.pid();

  const auto start = Clock::now();
  std::vector<double> latencies_ms;
  std::vector<std::string> lost;
  std::vector<double> reconnect_delays;
  std::vector<std::pair<double, long>> rss_samples;  // seconds, kB
  int restarts = 0;

  // Connection watch, sampled while pumping.
  bool was_connected = false;
  std::optional<Clock::time_point> down_since;
  int disconnects = 0;
  auto watch = [&] {
    const bool now = view.connected();
    if (was_connected && !now) {
      down_since = Clock::now();
      ++disconnects;
    }
    if (!was_connected && now && down_since) {
      reconnect_delays.push_back(seconds_since(*down_since));
      down_since.reset();
    }
    was_connected = now;
  };
  auto idle = [&](std::chrono::milliseconds d) {
    session.wait_until(
        [&] {
          watch();
          return false;
        },
        d);
  };

  if (!session.wait_until([&] { return view.connected() && view.position() && view.position()->second > 0; },
                          20s)) {
    std::fprintf(stderr, "soak: tickerdeck never showed the feed\n%s\n", session.screen_text().c_str());
    return 1;
  }
  was_connected = true;
  const ProcStat cpu_start = read_proc(pid);

  // The view the keys should produce, kept alongside.
  int tab = 1;
  uint64_t scroll = 0;
  std::mt19937 rng(7);
  auto timed = [&](const Key& k) {
    const auto t0 = Clock::now();
    session.send(k.bytes);
    const bool ok = session.wait_until(
        [&] {
          if (k.effect(view)) return true;
          return false;
        },
        kKeyTimeout);
    if (ok)
      latencies_ms.push_back(seconds_since(t0) * 1000.0);
    else
      lost.push_back(k.name + " at " + std::to_string(int(seconds_since(start))) + " s: " + view.tab_bar());
    watch();
  };
  auto at_position = [&](uint64_t first) {
    return [first](const View& v) {
      auto p = v.position();
      return p && (p->second == 0 ? p->first == 0 : p->first == first);
    };
  };

  double next_restart = 30;
  double last_sample = -1;
  while (seconds_since(start) < duration) {
    const double now = seconds_since(start);
    if (now - last_sample >= 1.0) {
      rss_samples.emplace_back(now, read_proc(pid).rss_kb);
      last_sample = now;
    }
    if (now >= next_restart) {
      // A server restart: the connection ends, the port is silent for 2 s, then serves again.
      const uint16_t port = feed.port();
      feed.stop();
      idle(2s);
      fault = fault == Feedsim::Fault::Drop ? Feedsim::Fault::Oversize : Feedsim::Fault::Drop;
      feed.start(port, fault);
      ++restarts;
      next_restart += 30;
    }
    if (!session.running()) break;

    // One round of keys; each has an effect the screen must show.
    int next_tab = 1 + int(rng() % 8);
    if (next_tab == tab) next_tab = next_tab % 8 + 1;
    timed({"tab " + std::to_string(next_tab), std::to_string(next_tab),
           [next_tab, first = at_position(1)](const View& v) { return v.tab_active(next_tab) && first(v); }});
    tab = next_tab;
    scroll = 0;
    idle(150ms);

    const auto total = view.position() ? view.position()->second : 0;
    const uint64_t limit = total > kPageHeight ? total - kPageHeight : 0;
    if (limit > 0) {
      scroll = std::min(scroll + kPageHeight, limit);
      timed({"PageDown", "\x1b[6~", at_position(scroll + 1)});
      idle(150ms);
      --scroll;
      timed({"k", "k", at_position(scroll + 1)});
      idle(150ms);
      ++scroll;
      timed({"Down", "\x1b[B", at_position(scroll + 1)});
      idle(150ms);
      scroll = 0;
      timed({"PageUp", "\x1b[5~", at_position(1)});
      idle(150ms);
    }

    timed({"/", "/", [](const View& v) { return v.tab_bar().find("Search: _") != std::string::npos; }});
    timed({"a", "a", [](const View& v) { return v.tab_bar().find("Search: a_") != std::string::npos; }});
    timed({"Enter", "\r", [](const View& v) { return v.tab_bar().find("Filter: a ") != std::string::npos; }});
    idle(150ms);
    timed({"9", "9", [](const View& v) { return v.tab_active(9); }});
    tab = 9;
    timed({"Esc", "\x1b", [](const View& v) { return v.tab_bar().find("Filter:") == std::string::npos; }});
    idle(300ms);
  }

  const double elapsed = seconds_since(start);
  const bool still_running = session.running();
  const ProcStat cpu_end = read_proc(pid);

  // Quit and check what the terminal was left with.
  session.send("q");
  const auto status = session.wait_exit(10s);
  const bool modes_ok = e2e::same_modes(session.initial_modes(), session.terminal_modes());
  const bool screen_ok = !session.alternate_screen() && session.cursor_visible();

  // Figures.
  std::sort(latencies_ms.begin(), latencies_ms.end());
  const double median = latencies_ms.empty() ? 0 : latencies_ms[latencies_ms.size() / 2];
  const double worst = latencies_ms.empty() ? 0 : latencies_ms.back();
  const double cpu_share = 100.0 * (cpu_end.cpu_seconds - cpu_start.cpu_seconds) / elapsed;
  const long final_rss = rss_samples.empty() ? 0 : rss_samples.back().second;

  // Growth: the peak of the last third against the peak of the middle third (the first
  // third is warm-up: the map and buffers fill).
  long middle_peak = 0, last_peak = 0;
  for (const auto& [t, kb] : rss_samples) {
    if (t >= elapsed / 3 && t < 2 * elapsed / 3) middle_peak = std::max(middle_peak, kb);
    if (t >= 2 * elapsed / 3) last_peak = std::max(last_peak, kb);
  }
  const bool growing = middle_peak > 0 && last_peak > middle_peak + middle_peak / 5 + 16 * 1024;

  std::printf("soak: %.0f s, feedsim 10000 symbols, 20000 row updates/s, garbage every 3 s, connections ended "
              "every 12 s (dropped or oversized message, in turn by run), %d restarts\n",
              elapsed, restarts);
  std::printf("cpu: %.1f%% of one core\n", cpu_share);
  std::printf("memory: peak %.1f MiB, final %.1f MiB (middle-third peak %.1f, last-third peak %.1f)\n",
              double(cpu_end.hwm_kb) / 1024, double(final_rss) / 1024, double(middle_peak) / 1024,
              double(last_peak) / 1024);
  std::printf("keys: %zu took effect, %zu lost; latency median %.1f ms, worst %.1f ms\n", latencies_ms.size(),
              lost.size(), median, worst);
  std::printf("reconnects: %d disconnects seen, %zu reconnects, delays:", disconnects, reconnect_delays.size());
  for (double d : reconnect_delays) std::printf(" %.1f", d);
  std::printf(" s\n");
  std::printf("exit: %s, status %d; terminal modes %s, %s\n", still_running ? "ran to the end" : "STOPPED EARLY",
              status ? *status : -1, modes_ok ? "restored" : "NOT RESTORED",
              screen_ok ? "main screen with cursor" : "SCREEN NOT RESTORED");
  for (const auto& l : lost) std::printf("lost key: %s\n", l.c_str());

  bool failed = false;
  auto check = [&](bool ok, const char* what) {
    if (!ok) {
      std::printf("FAIL: %s\n", what);
      failed = true;
    }
  };
  check(still_running, "tickerdeck stopped during the soak");
  check(lost.empty(), "a key did not take effect");
  check(!latencies_ms.empty(), "no key was measured");
  check(worst <= double(kWorstAllowed.count()), "worst key latency above 250 ms");
  check(!growing, "memory keeps growing");
  check(status && *status == 0, "tickerdeck did not exit with status 0");
  check(modes_ok && screen_ok, "terminal not restored");
  check(!reconnect_delays.empty(), "no reconnect was seen");
  for (double d : reconnect_delays) check(d >= 4.0 && d <= 12.0, "a reconnect delay far from 5 s");
  std::printf("%s\n", failed ? "soak: FAILED" : "soak: passed");
  return failed ? 1 : 0;
}
