// A loadable library with a thread-local variable of its own.
static thread_local long g_slot[2];
extern "C" long* TouchSlot() { return g_slot; }
