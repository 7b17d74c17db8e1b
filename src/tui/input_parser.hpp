#pragma once
// Terminal input bytes to events. Bytes may arrive split at any point; the parser keeps
// the unfinished tail and emits events in input order.
//
// The lone-Esc delay: an ESC byte is either the Esc key or the first byte of a sequence
// whose rest has not arrived yet. The parser holds it; when kEscDelay (50 ms) has passed
// with no further byte, the caller calls flush_pending(), which turns it into an Esc key.
// Terminals write a whole sequence at once, so its bytes arrive far closer together than
// 50 ms, while a 50 ms pause after Esc is too short to notice.
//
// What is malformed or unknown (a CSI with an unknown final byte, too many parameters,
// a sequence cut short by a control byte, invalid UTF-8) is consumed and dropped: it never
// becomes a character key. Every buffer is bounded.
#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "tui/event.hpp"

namespace tui {

class InputParser {
 public:
  // How long a lone ESC (or an unfinished sequence) waits for more bytes.
  static constexpr std::chrono::milliseconds kEscDelay{50};
  // How long an open bracketed paste waits for more bytes before it is closed, so that a
  // terminal that never sends the end marker cannot swallow the keyboard for good.
  static constexpr std::chrono::milliseconds kPasteTimeout{1000};
  // Longest escape sequence kept; a longer one is skipped up to its final byte.
  static constexpr std::size_t kMaxSequence = 64;
  // Most parameters in one CSI sequence; more make it malformed.
  static constexpr std::size_t kMaxParams = 16;
  // Most paste text kept; the rest of a longer paste is dropped.
  static constexpr std::size_t kMaxPaste = std::size_t(1) << 20;

  // Parses `bytes` after whatever was left over; complete events join the queue.
  void feed(std::string_view bytes);

  // True while input is held back waiting for more bytes (a lone ESC, an unfinished
  // sequence or UTF-8 character, an open paste).
  bool has_pending() const;
  // How long the pending input may wait for more bytes before flush_pending() is due.
  std::chrono::milliseconds pending_delay() const;
  // Called when pending_delay() passed with no input: a lone ESC becomes an Esc key,
  // ESC ESC an Esc key with Alt, an open paste a paste event; anything else is dropped.
  void flush_pending();

  bool has_event() const { return !events_.empty(); }
  // Takes the oldest queued event.
  std::optional<Event> next_event();

 private:
  enum class Mode { Normal, Skip, Paste };

  std::string_view feed_paste(std::string_view bytes);
  std::string_view feed_skip(std::string_view bytes);
  void append_paste(std::string_view text);

  Mode mode_ = Mode::Normal;
  std::string pending_;      // an unfinished sequence or character (Normal mode)
  std::string paste_;        // paste text so far (Paste mode)
  std::size_t paste_match_ = 0;  // bytes of the end marker matched so far
  std::deque<Event> events_;
};

}  // namespace tui
