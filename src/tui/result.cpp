#include "tui/result.hpp"

#include <cstring>
#include <string>

namespace tui {

Error Error::from_errno(int err) {
  return Error{std::string(std::strerror(err)) + " (os error " + std::to_string(err) + ")", {}};
}

Error Error::context(std::string context_message) const {
  Error outer{std::move(context_message), {}};
  outer.causes.reserve(causes.size() + 1);
  outer.causes.push_back(message);
  outer.causes.insert(outer.causes.end(), causes.begin(), causes.end());
  return outer;
}

std::string Error::report() const {
  std::string out = "Error: " + message + "\n";
  if (!causes.empty()) {
    out += "\nCaused by:\n";
    for (const auto& cause : causes) out += "    " + cause + "\n";
  }
  return out;
}

}  // namespace tui
