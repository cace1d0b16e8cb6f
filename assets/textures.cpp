#include "assets/textures.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/data_file.h"
#include "platform/message_box.h"
#include "platform/quit_signals.h"
#include "assets/png_reader.h"
#include "assets/toon_ramps.h"

GLuint g_textureNames[kTextureSlotCount];

const char* const g_textureFiles[kTextureSlotCount] = {
    "data\\velkoran.png",       "data\\tonaro.png",         nullptr,
    "data\\veri-tausta1.png",   "data\\veri-tausta2.png",   "data\\veri-tausta3.png",
    nullptr,                    nullptr,                    "data\\kaenny-tausta1.png",
    "data\\kaenny-tausta2.png", "data\\kaenny-tausta3.png", "data\\kaenny-tausta4.png",
    "data\\zmb.png",            "data\\qvt.png",            "data\\chrome.png",
    "data\\tausta_jastu.png",   "data\\kredu_jastu.png",    "data\\tausta_pelan.png",
    "data\\kredu_pelan.png",    "data\\tausta_sorvo.png",   "data\\kredu_sorvo.png",
    "data\\the-end.png",        "data\\tonaro_teksti.png",
};

static const char* const kSlotMessages[kTextureSlotCount] = {
    "Could not load Orvi logo texture!@#",
    "Could not load Tonaro logo texture!@#",
    nullptr,
    "Could not load Bloodcell BG1 texture!@#",
    "Could not load Bloodcell BG2 texture!@#",
    "Could not load Bloodcell BG3 texture!@#",
    nullptr,
    nullptr,
    "Could not load Cellphone BG1 texture!@#",
    "Could not load Cellphone BG2 texture!@#",
    "Could not load Cellphone BG3 texture!@#",
    "Could not load Cellphone BG4 texture!@#",
    "Could not load ZMB texture!@#",
    "Could not load QVT texture!@#",
    "Could not load Chrome texture!@#",
    "Could not load Credits BG for Jastu texture!@#",
    "Could not load Credits for Jastu texture!@#",
    "Could not load Credits BG for Pelan texture!@#",
    "Could not load Credits for Pelan texture!@#",
    "Could not load Credits BG for Sorvo texture!@#",
    "Could not load Credits for Sorvo texture!@#",
    "Could not load The End texture!@#",
    "Could not load Tonaro text texture!@#",
};

// Catalogue-wide pixel budget: two pictures of the largest size, over four
// times what data/ holds and above what data/2x/ holds (30.7 million
// pixels). Checked at each header, in slot order, so 20 large pictures are
// refused before their memory is taken.
static const uint64_t kCataloguePixelBudget = 2ull * kPngMaxDimension * kPngMaxDimension;

// Counts a header's pixels against what the earlier slots took.
static int WithinBudget(uint32_t width, uint32_t height, void* user) {
  uint64_t* taken = static_cast<uint64_t*>(user);
  const uint64_t pixels = uint64_t(width) * height;
  if (*taken + pixels > kCataloguePixelBudget) return 0;
  *taken += pixels;
  return 1;
}

std::string PictureFile(int slot, int pictureScale) {
  std::string name = g_textureFiles[slot];
  if (pictureScale == 2) name.insert(5, "2x\\");  // after "data\\"
  return name;
}

// A fault in the large set shows no box: the picture is drawn from data/.
static int Unshown(MessageKind, const char*, const char*) { return 1; }

// The large set is optional, picture by picture: one that is missing is
// drawn from data/ without a word, one that cannot be read (broken, over the
// budget, a folder, a device) from data/ with its reason and a line on stderr.
static int ReadLarge(const std::string& file, PngSizeCheck check, void* user, int* components,
                     uint32_t* width, uint32_t* height, unsigned char** pixels) {
  if (!DataFileExists(file.c_str())) return 0;
  uint64_t* taken = static_cast<uint64_t*>(user);
  const uint64_t before = taken ? *taken : 0;
  const MessageHook hook = SetMessageHook(Unshown);
  const int read = ReadPNGWithin(file.c_str(), check, user, components, width, height, pixels);
  SetMessageHook(hook);
  if (read) return 1;
  if (taken) *taken = before;  // what the large picture took of the budget is free again
  std::fprintf(stderr, "%s: %s: drawn from the picture in data/ instead\n", g_programName,
               DataFilePath(file.c_str()).c_str());
  return 0;
}

static int ReadAndUpload(int slot, int pictureScale, GLint filter, PngSizeCheck check, void* user) {
  int components = 0;
  uint32_t width = 0, height = 0;
  unsigned char* pixels = nullptr;
  if (!(pictureScale == 2 && ReadLarge(PictureFile(slot, 2), check, user, &components, &width,
                                       &height, &pixels)) &&
      !ReadPNGWithin(PictureFile(slot, 1).c_str(), check, user, &components, &width, &height,
                     &pixels))
    return 0;
  glBindTexture(GL_TEXTURE_2D, g_textureNames[slot]);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  // Rows are tightly packed: an RGB row need not be a multiple of 4 bytes.
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, components, GLsizei(width), GLsizei(height), 0,
               components == 3 ? GL_RGB : GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  std::free(pixels);
  return 1;
}

int LoadTextureSlot(int slot, GLint filter) {
  return ReadAndUpload(slot, 1, filter, nullptr, nullptr);
}

namespace {
struct Loading {
  int pictureScale;
  uint64_t pixelsTaken;
};
}  // namespace

// Nothing after the first failure is loaded or reported.
static int LoadSlot(int slot, Loading* loading) {
  // A quit asked for meanwhile ends the loading here, with nothing to say.
  if (QuitRequested()) return 0;
  if (ReadAndUpload(slot, loading->pictureScale, GL_LINEAR, WithinBudget, &loading->pixelsTaken))
    return 1;
  ShowMessage(MessageError, "LoadTextures()", kSlotMessages[slot]);
  return 0;
}

void FreeTextures() {
  if (g_textureNames[0]) glDeleteTextures(kTextureSlotCount, g_textureNames);
  for (GLuint& name : g_textureNames) name = 0;
}

int LoadTextures(int pictureScale) {
  glGenTextures(kTextureSlotCount, g_textureNames);
  Loading taken = {pictureScale, 0};
  if (!LoadSlot(kOrviLogoSlot, &taken) || !LoadSlot(kTonaroLogoSlot, &taken)) return 0;
  UploadToonRamp(g_textureNames[kBloodRampSlot], g_bloodCellRamp);
  for (int slot = kBloodBackground1Slot; slot < kPrisonRampSlot; ++slot)
    if (!LoadSlot(slot, &taken)) return 0;
  UploadToonRamp(g_textureNames[kPrisonRampSlot], g_prisonCellRamp);
  UploadToonRamp(g_textureNames[kPhoneRampSlot], g_cellphoneRamp);
  for (int slot = kPhoneBackground1Slot; slot <= kChromeSlot; ++slot)
    if (!LoadSlot(slot, &taken)) return 0;
  // For the sphere-mapped chrome logo; generation itself is enabled only there.
  glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  for (int slot = kJastuBackgroundSlot; slot < kTextureSlotCount; ++slot)
    if (!LoadSlot(slot, &taken)) return 0;
  return 1;
}
