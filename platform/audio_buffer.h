// How the sound device takes the music, as each platform calls it back.
#pragma once

#ifdef __EMSCRIPTEN__
// A browser asks on the page's own thread, between its frames, and plays
// silence for a buffer the page hands over late: the music would stutter and
// fall behind whenever a frame, or a hidden page's share of the processor,
// runs long. About 85 ms at 48 kHz rides that out.
inline constexpr int kAudioBufferFrames = 4096;
// It asks for the next buffer as the one before starts to play: a buffer
// handed over is heard after that one.
inline constexpr int kAudioBuffersQueued = 2;
#else
// An audio thread of its own calls back on time: a small buffer keeps picture
// and sound close (about 12 ms), heard once the device takes it.
inline constexpr int kAudioBufferFrames = 512;
inline constexpr int kAudioBuffersQueued = 1;
#endif
