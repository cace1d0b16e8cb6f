// Prints the show's scene table with its times, one scene a line, for
// scripts that must aim at scenes without a list of their own.
#include <cstdio>
#include <cstring>

#include "demo/scene_table.h"

namespace {

const char* const kUsage =
    "usage: scene_list\n"
    "Prints the show's scenes, tab-separated, one a line after a header:\n"
    "scene number, its cut, its first frame, its end and the moment all it shows\n"
    "is on screen (ms of the show), its routine, variant, pulsed factor and slots.\n";

const char* PulseName(PulseTarget pulse) {
  switch (pulse) {
    case PulseNone: return "none";
    case PulseBackground: return "background";
    case PulseSprite: return "sprite";
    case PulseAlternating: return "alternating";
  }
  return "?";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 1) {
    std::fprintf(stderr, "scene_list: takes no arguments (got \"%s\")\n%s", argv[1], kUsage);
    return 2;
  }
  std::printf("scene\tcut_ms\tstart_ms\tend_ms\tsettled_ms\troutine\tvariant\tpulse\tbackground\tsprite\n");
  for (int n = 0; n < kSceneCount; ++n) {
    const SceneEntry& s = g_scenes[n];
    std::printf("%d\t%llu\t%llu\t%llu\t%llu\t%s\t%d\t%s\t%d\t%d\n", n,
                (unsigned long long)SceneCutMs(n), (unsigned long long)SceneStartMs(n),
                (unsigned long long)SceneEndMs(n), (unsigned long long)SceneSettledMs(n),
                SceneFamilyName(s.family), s.variant, PulseName(s.pulse), s.backgroundSlot,
                s.spriteSlot);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
