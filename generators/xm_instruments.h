// The tune's instruments, synthesised: drums sampled once, tones as looped
// single periods shaped by volume envelopes.
#pragma once
#include <vector>

#include "generators/xm_module.h"

// Instrument numbers (1-based, as in the pattern data).
enum XmInstrument {
  Kick = 1, Snare, Clap, Rim, HatClosed, HatOpen, Crash, Tom, Boom, Zap, Chime, Riser,
  BassSaw, BassSub, BassPluck, PadChorus, PadHollow, Drone, Stab, Keys, LeadSaw, LeadBright,
  LeadSoft, Bell, Brass, Strings, PadChorusRight, StringsRight, kXmInstruments = StringsRight
};

// All of them, in number order.
std::vector<XmSample> MakeInstruments();
