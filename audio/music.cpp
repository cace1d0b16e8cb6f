#include "audio/music.h"

#include "platform/message_box.h"
#include "audio/music_player.h"

static int MusicFailure(const char* text) {
  ShowMessage(MessageError, "Orvi", text);
  return 0;
}

int StartMusic() {
  if (!BASS_Init(44100)) return MusicFailure("BASS initialization failed! No music!");
  if (!BASS_Start()) return MusicFailure("Can't start digital music output!");
  uint32_t music = BASS_MusicLoad(1, g_moduleData, 0, uint32_t(g_moduleSize));
  if (!music) return MusicFailure("Can't load music!");
  if (!BASS_MusicPlay(music)) return MusicFailure("Can't play music!");
  return 1;
}
