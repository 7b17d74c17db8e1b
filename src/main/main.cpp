// Process entry: start the runtime, run the main task on this thread, shut down,
// and map the outcome to the exit status.
#include <csignal>
#include <cstdio>
#include <string>

#include "main/main_task.hpp"
#include "main/runtime.hpp"

int main(int argc, char** argv) {
  // A closed output must end the program with "Error: ..." and status 1, not kill it.
  std::signal(SIGPIPE, SIG_IGN);
  std::string failure;
  auto rt = runtime::Runtime::create(failure);
  if (!rt) {
    std::fprintf(stderr, "Failed building the Runtime: %s\n", failure.c_str());
    return 101;
  }
  auto outcome = app_main::run_main_task(argc, argv, rt->context());
  // Cancels the feed task wherever it waits; its connection closes without a handshake.
  rt->shutdown();
  if (!outcome) {
    const std::string report = outcome.error().report();
    std::fputs(report.c_str(), stderr);
    return 1;
  }
  return *outcome;
}
