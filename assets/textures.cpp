#include "assets/textures.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/message_box.h"
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

// Catalogue-wide pixel budget: over four times what data/ holds, two pictures of
// the largest size. Checked at each header, in slot order, so 20 large
// pictures are refused before their memory is taken.
static const uint64_t kCataloguePixelBudget = 2ull * kPngMaxDimension * kPngMaxDimension;

static void Upload(int slot, GLint filter, int components, uint32_t width, uint32_t height,
                   unsigned char* pixels) {
  glBindTexture(GL_TEXTURE_2D, g_textureNames[slot]);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  // Rows are tightly packed: an RGB row need not be a multiple of 4 bytes.
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, components, GLsizei(width), GLsizei(height), 0,
               components == 3 ? GL_RGB : GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  std::free(pixels);
}

int LoadTextureSlot(int slot, GLint filter) {
  int components = 0;
  uint32_t width = 0, height = 0;
  unsigned char* pixels = nullptr;
  if (!ReadPNG(g_textureFiles[slot], &components, &width, &height, &pixels)) return 0;
  Upload(slot, filter, components, width, height, pixels);
  return 1;
}

namespace {

// One picture slot's decode, done on a worker and handed to the GL thread.
struct SlotDecode {
  bool headerKnown = false;  // its size is counted, or it failed before one was read
  uint64_t pixelCount = 0;   // of an accepted header
  bool done = false;
  int ok = 0;
  int components = 0;
  uint32_t width = 0, height = 0;
  unsigned char* pixels = nullptr;
  std::vector<PngMessage> messages;  // boxes to show, in the order libpng gave them
};

// The pictures are decoded on helper threads and the GL thread, claimed in ascending slot
// order; everything the user sees (boxes, uploads, the stop at the first
// failure) happens afterwards on the GL thread in catalogue order, as if the
// slots were read one by one.
struct Decoder {
  std::mutex mutex;
  std::condition_variable changed;
  SlotDecode slots[kTextureSlotCount];
  std::atomic<int> next{0};
  std::atomic<bool> stop{false};
};

struct BudgetCheck {
  Decoder* decoder;
  int slot;
};

// A header's pixels count against what the earlier slots declared, so which
// slot goes over the budget does not depend on which thread is faster. Every
// earlier slot is claimed already and reaches its header without waiting on
// a later one, so this wait always ends.
int WithinBudget(uint32_t width, uint32_t height, void* user) {
  BudgetCheck* check = static_cast<BudgetCheck*>(user);
  Decoder* d = check->decoder;
  std::unique_lock<std::mutex> lock(d->mutex);
  uint64_t earlier = 0;
  for (int slot = 0; slot < check->slot; ++slot) {
    if (!g_textureFiles[slot]) continue;
    d->changed.wait(lock, [&] { return d->slots[slot].headerKnown; });
    earlier += d->slots[slot].pixelCount;
  }
  const uint64_t pixels = uint64_t(width) * height;
  SlotDecode& mine = d->slots[check->slot];
  mine.headerKnown = true;
  const bool fits = earlier + pixels <= kCataloguePixelBudget;
  mine.pixelCount = fits ? pixels : 0;
  d->changed.notify_all();
  return fits;
}

// Claims the next slot and decodes it; false when none is left.
bool DecodeNext(Decoder* d) {
  const int slot = d->next.fetch_add(1);
  if (slot >= kTextureSlotCount) return false;
  if (!g_textureFiles[slot]) return true;
  SlotDecode result;
  if (!d->stop) {
    CollectPngMessages(&result.messages);
    BudgetCheck check{d, slot};
    result.ok = ReadPNGWithin(g_textureFiles[slot], WithinBudget, &check, &result.components,
                              &result.width, &result.height, &result.pixels);
    CollectPngMessages(nullptr);
  }
  std::lock_guard<std::mutex> lock(d->mutex);
  SlotDecode& mine = d->slots[slot];
  result.headerKnown = true;
  result.pixelCount = mine.pixelCount;
  mine = std::move(result);
  mine.done = true;
  d->changed.notify_all();
  return true;
}

void DecodeSlots(Decoder* d) {
  while (DecodeNext(d)) {
  }
}

}  // namespace

static int LoadSlot(Decoder* d, int slot) {
  SlotDecode* s = &d->slots[slot];
  // While its slot is not ready the GL thread decodes too: a later slot,
  // since every earlier one is claimed already.
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(d->mutex);
      if (s->done) break;
      if (d->next >= kTextureSlotCount) {
        d->changed.wait(lock, [&] { return s->done; });
        break;
      }
    }
    DecodeNext(d);
  }
  for (const PngMessage& m : s->messages) ShowMessage(m.kind, m.caption, m.text);
  if (s->ok) {
    Upload(slot, GL_LINEAR, s->components, s->width, s->height, s->pixels);
    s->pixels = nullptr;
    return 1;
  }
  // Nothing after the first failure is loaded or reported.
  d->stop = true;
  ShowMessage(MessageError, "LoadTextures()", kSlotMessages[slot]);
  return 0;
}

static int LoadInOrder(Decoder* d) {
  if (!LoadSlot(d, 0) || !LoadSlot(d, 1)) return 0;
  UploadToonRamp(g_textureNames[2], g_bloodCellRamp);
  for (int slot = 3; slot <= 5; ++slot)
    if (!LoadSlot(d, slot)) return 0;
  UploadToonRamp(g_textureNames[6], g_prisonCellRamp);
  UploadToonRamp(g_textureNames[7], g_cellphoneRamp);
  for (int slot = 8; slot <= 14; ++slot)
    if (!LoadSlot(d, slot)) return 0;
  // For the sphere-mapped chrome logo; generation itself is enabled only there.
  glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  for (int slot = 15; slot <= 22; ++slot)
    if (!LoadSlot(d, slot)) return 0;
  return 1;
}

int LoadTextures() {
  glGenTextures(kTextureSlotCount, g_textureNames);
  Decoder decoder;
  // One helper per further core; this thread decodes as well.
  const unsigned cores = std::thread::hardware_concurrency();
  const unsigned helpers = cores < 2 ? 1 : cores > 4 ? 3 : cores - 1;
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < helpers; ++i) {
    try {
      threads.emplace_back(DecodeSlots, &decoder);
    } catch (const std::system_error&) {
      break;  // fewer helpers: this thread decodes what they do not
    }
  }
  const int loaded = LoadInOrder(&decoder);
  for (std::thread& t : threads) t.join();
  for (SlotDecode& s : decoder.slots) std::free(s.pixels);
  return loaded;
}
