#include <cstdio>
#include <string>

#include "app/launch_options.h"
#include "app/lifecycle.h"
#include "platform/quit_signals.h"

int main(int argc, char** argv) {
  LaunchOptions options;
  std::string reason;
  if (!ParseLaunchOptions(argc, argv, &options, &reason)) {
    std::fprintf(stderr, "orvi: %s\n%s", reason.c_str(), kLaunchUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(kLaunchUsage, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("orvi %s\n", OrviVersion());
    return 0;
  }
  InstallQuitSignals();
  RunProgram(options);
}
