#include "main/main_task.hpp"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <utility>
#include <variant>

#include "feed/feed_task.hpp"
#include "main/cli.hpp"
#include "main/page_height.hpp"
#include "screen/panels.hpp"
#include "state/app.hpp"
#include "state/keys.hpp"
#include "tui/backend.hpp"
#include "tui/terminal.hpp"

namespace app_main {
namespace {

// The idle wait: bounds how late a feed change reaches the screen while no key is pressed.
constexpr std::chrono::milliseconds kEventWait{100};

void print(std::FILE* stream, const std::string& text) {
  if (!text.empty()) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
  }
}

}  // namespace

tui::Result<int> run_main_task(int argc, const char* const* argv, boost::asio::io_context& io) {
  // Help, version and usage errors end here, before the terminal is touched.
  cli::ParseOutcome parsed = cli::parse_args(argc, argv);
  if (auto* exit = std::get_if<cli::Exit>(&parsed)) {
    print(stdout, exit->out);
    print(stderr, exit->err);
    return exit->status;
  }
  const cli::Args args = std::get<cli::Args>(std::move(parsed));

  // Setup. A failure returns at once and leaves switched on whatever was switched on.
  auto opened = tui::TtyBackend::open();
  if (!opened) return opened.take_error();
  std::unique_ptr<tui::TtyBackend> backend = std::move(*opened);
  if (auto s = backend->enter_raw_mode(); !s) return s.take_error();
  if (auto s = backend->write(tui::kEnterAlternateScreen); !s) return s.take_error();
  if (auto s = backend->write(tui::kEnableMouse); !s) return s.take_error();
  if (auto s = backend->flush(); !s) return s.take_error();

  // Declared after the backend so that it is destroyed first: its destructor may still
  // write through the backend (showing the cursor when drawing left it hidden).
  auto created = tui::Terminal::create(*backend);
  if (!created) return created.take_error();
  tui::Terminal terminal = std::move(*created);

  state::AppHandle app = state::make_app(args.max_rows);
  feed::spawn_feed_task(io, args.url, app);

  for (;;) {
    auto size = backend->size();
    const uint16_t page = page_height(size ? std::optional<uint16_t>(size->rows) : std::nullopt);

    if (auto s = terminal.draw([&](tui::Buffer& buf) { screen::draw_frame(buf, app); }); !s)
      return s.take_error();

    auto ready = backend->poll_event(kEventWait);
    if (!ready) return ready.take_error();
    if (!*ready) continue;

    auto event = backend->read_event();
    if (!event) return event.take_error();
    // Mouse, resize, focus and paste events are dropped; the next frame notices a new size.
    const auto* key = std::get_if<tui::KeyEvent>(&*event);
    if (!key) continue;

    bool quit;
    {
      std::lock_guard lock(app->mutex);
      quit = state::handle_key(*key, app->app, page);
    }
    if (quit) break;
  }

  // Exit sequence; a failure skips the rest.
  if (auto s = backend->leave_raw_mode(); !s) return s.take_error();
  if (auto s = backend->write(tui::kLeaveAlternateScreen); !s) return s.take_error();
  if (auto s = backend->write(tui::kDisableMouse); !s) return s.take_error();
  if (auto s = backend->flush(); !s) return s.take_error();
  if (auto s = terminal.show_cursor(); !s) return s.take_error();
  return 0;
}

}  // namespace app_main
