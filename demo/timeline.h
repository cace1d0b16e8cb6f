// The show's score: when each cut, flash, pulse and picture event falls due.
#pragma once
#include <cstdint>

enum EventType {
  EventCut = 0,      // flash, and the next scene 85 ms later
  EventPulse = 1,    // 190 ms beat pulse of a picture
  EventFlash = 2,    // flash without a scene change
  EventShowZmb = 3,  // show the ZMB picture
  EventShowQvt = 4,  // show the QVT picture
  EventEnd = 5,      // end of the show
};

struct TimelineEvent {
  uint64_t timeMs;  // due at this ElapsedMs reading
  int32_t type;     // an EventType
  int32_t pad;
};
static_assert(sizeof(TimelineEvent) == 16, "timeline record is 16 bytes");

// Ascending in time, no terminator: the end event stops the program first.
// One group a scene: the cut that opens it, then its pulses and other events.
inline constexpr TimelineEvent g_timeline[] = {
    {0, EventCut, 0}, {1500, EventPulse, 0}, {1800, EventPulse, 0},

    {3515, EventCut, 0}, {5100, EventPulse, 0}, {5400, EventPulse, 0}, {5850, EventPulse, 0},
    {6215, EventFlash, 0}, {6365, EventFlash, 0}, {6665, EventFlash, 0}, {6890, EventFlash, 0},

    {7040, EventCut, 0}, {7650, EventPulse, 0}, {8550, EventPulse, 0}, {9450, EventPulse, 0},
    {10350, EventPulse, 0}, {11250, EventPulse, 0}, {12150, EventPulse, 0}, {13050, EventPulse, 0},
    {13950, EventPulse, 0},

    {14315, EventCut, 0}, {14850, EventPulse, 0}, {15750, EventPulse, 0}, {16650, EventPulse, 0},
    {17550, EventPulse, 0},

    {17915, EventCut, 0}, {18450, EventPulse, 0}, {19350, EventPulse, 0}, {20025, EventPulse, 0},
    {20250, EventPulse, 0}, {21150, EventPulse, 0}, {21375, EventPulse, 0},

    {21515, EventCut, 0}, {22050, EventPulse, 0}, {22950, EventPulse, 0}, {23850, EventPulse, 0},
    {24750, EventPulse, 0}, {25650, EventPulse, 0}, {26550, EventPulse, 0}, {27450, EventPulse, 0},
    {28350, EventPulse, 0},

    {28715, EventCut, 0}, {29250, EventPulse, 0}, {30150, EventPulse, 0}, {31050, EventPulse, 0},
    {31950, EventPulse, 0}, {32850, EventPulse, 0}, {33750, EventPulse, 0}, {34650, EventPulse, 0},
    {35325, EventPulse, 0}, {35550, EventPulse, 0},

    {35915, EventCut, 0}, {36450, EventPulse, 0}, {37125, EventPulse, 0}, {38250, EventPulse, 0},
    {38625, EventPulse, 0}, {39150, EventPulse, 0},

    {39515, EventCut, 0}, {40050, EventPulse, 0}, {40725, EventPulse, 0}, {41850, EventPulse, 0},
    {42225, EventPulse, 0}, {42525, EventPulse, 0}, {42750, EventPulse, 0},

    {43115, EventCut, 0}, {43650, EventPulse, 0}, {44325, EventPulse, 0}, {45450, EventPulse, 0},
    {45825, EventPulse, 0}, {46350, EventPulse, 0},

    {46715, EventCut, 0}, {47250, EventPulse, 0}, {47925, EventPulse, 0}, {49050, EventPulse, 0},

    {49415, EventCut, 0}, {49725, EventShowZmb, 0}, {49950, EventShowQvt, 0},

    {50315, EventCut, 0}, {51900, EventPulse, 0}, {52200, EventPulse, 0},

    {53915, EventCut, 0}, {55500, EventPulse, 0}, {55800, EventPulse, 0},

    {57515, EventCut, 0}, {59100, EventPulse, 0}, {59400, EventPulse, 0},

    {61115, EventCut, 0}, {67000, EventEnd, 0},
};
constexpr int kTimelineLength = int(sizeof g_timeline / sizeof g_timeline[0]);

// Milliseconds from a cut's due time to the scene change it causes.
enum { kCutToSceneMs = 85 };

// How many records of the timeline have this type.
constexpr int CountEvents(int type) {
  int n = 0;
  for (const TimelineEvent& event : g_timeline) n += event.type == type;
  return n;
}

// The due time of the nth record of this type (from 0); 0 if there is none.
constexpr uint64_t NthEventMs(int type, int n) {
  for (const TimelineEvent& event : g_timeline)
    if (event.type == type && n-- == 0) return event.timeMs;
  return 0;
}
