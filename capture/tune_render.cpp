#include "capture/tune_render.h"

#include <libopenmpt/libopenmpt.h>
#include <libopenmpt/libopenmpt_ext.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "audio/music.h"

std::vector<float> RenderTune(double fromSeconds, size_t frames, int onlyChannel) {
  const openmpt_module_initial_ctl ctls[] = {{"play.at_end", "stop"}, {nullptr, nullptr}};
  openmpt_module_ext* ext = openmpt_module_ext_create_from_memory(
      g_moduleData, g_moduleSize, openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
      nullptr, nullptr, nullptr, ctls);
  if (!ext) return {};
  openmpt_module* module = openmpt_module_ext_get_module(ext);
  if (onlyChannel >= 0) {
    openmpt_module_ext_interface_interactive interactive;
    if (!openmpt_module_ext_get_interface(ext, LIBOPENMPT_EXT_C_INTERFACE_INTERACTIVE, &interactive,
                                          sizeof interactive) ||
        onlyChannel >= openmpt_module_get_num_channels(module)) {
      openmpt_module_ext_destroy(ext);
      return {};
    }
    for (int ch = 0; ch < openmpt_module_get_num_channels(module); ++ch)
      interactive.set_channel_mute_status(ext, ch, ch != onlyChannel);
  }
  openmpt_module_ctl_set_integer(module, "dither", 0);
  std::vector<float> stereo(frames * 2, 0.0f);
  // Played from the start and the lead-in dropped: a seek lands on a row and
  // loses the notes still sounding from before it, so the sound of a range
  // would not be the show's at that moment.
  std::vector<float> dropped(4096 * 2);
  for (size_t lead = size_t(std::llround(std::max(fromSeconds, 0.0) * 44100)); lead > 0;) {
    size_t n = openmpt_module_read_interleaved_float_stereo(module, 44100, std::min<size_t>(4096, lead),
                                                            dropped.data());
    if (n == 0) break;
    lead -= n;
  }
  size_t done = 0;
  while (done < frames) {
    size_t n = openmpt_module_read_interleaved_float_stereo(
        module, 44100, std::min<size_t>(4096, frames - done), &stereo[done * 2]);
    if (n == 0) break;
    done += n;
  }
  openmpt_module_ext_destroy(ext);
  return stereo;
}
