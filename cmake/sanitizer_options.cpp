// Built into every program of the sanitized build.
//
// GCC 12's leak checker records the thread-local blocks of loaded libraries
// as the program asks for them. When such a block starts 16 bytes into a
// page it takes the 16 bytes before it for a glibc header holding the
// block's start and size; from its own heap those bytes are an allocator
// header, and the check at exit crashes scanning from a small bogus address
// ("Tracer caught signal 11"). Which program meets it depends on the heap's
// layout only. Without the recording the blocks are still reached, through
// the heap.
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }

// Libraries stay mapped to the end. Ending the window's EGL display closes
// Mesa's driver and LLVM; the leak check then sees their globals no more, and
// takes what those hold for leaks it cannot name.
extern "C" int dlclose(void*) { return 0; }
