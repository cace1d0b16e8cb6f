// What the tests share: a real offscreen GL window, a recorder for message
// boxes, a driven clock, a replaceable process exit and hand-made PNG files.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gl_window.h"
#include "platform/message_box.h"
#include "demo/sequencer.h"

struct RecordedMessage {
  MessageKind kind;
  std::string caption;
  std::string text;
};

// Every box shown since the last ClearMessages; questions get g_answer.
extern std::vector<RecordedMessage> g_messages;
extern int g_answer;
void ClearMessages();
std::string LastMessage();

// A window on SDL's offscreen driver with a current context, the run's GL
// state set; its frames call frame (by default they draw nothing).
GLWindow* OpenTestWindow(uint16_t width = 640, uint16_t height = 480, FrameCallback frame = nullptr);
void CloseTestWindow(GLWindow* window);

// RGBA pixels of the back buffer, bottom row first.
std::vector<uint8_t> ReadPixels(int x, int y, int width, int height);
struct Rgb {
  int r, g, b;
};
Rgb PixelAt(int x, int y);
float DepthAt(int x, int y);

// The clock reads g_fakeNowMs while the driven clock is in force, the
// designed show's flashes and atEnd at the end record.
extern uint64_t g_fakeNowMs;
void UseDrivenClock(uint64_t startMs = 1000000, ShowEndCallback atEnd = nullptr);

// Shutdown in a test ends by throwing this instead of ending the process.
struct ProcessExited {
  int code;
};

// Writes an RGB PNG with libpng, of the bit depth and interlacing given;
// byte i of row y is (y * 16 + i * 3) & 0xFF.
bool WritePng(const std::string& path, int width, int height, int bitDepth = 8, int interlace = 0);
// A fresh folder under /tmp, removed when the test ends.
std::string TempDir();
// Whether this run rewrites the golden frames: only for ORVI_UPDATE_GOLDEN=1
// with --gtest_filter='Capture.GoldenFrames*'; every test runs with it cleared.
extern bool g_updateGolden;
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);

