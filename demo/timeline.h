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

enum { kTimelineLength = 88 };
// Ascending in time, no terminator: the end event stops the program first.
extern const TimelineEvent g_timeline[kTimelineLength];

// Milliseconds from a cut's due time to the scene change it causes.
enum { kCutToSceneMs = 85 };
