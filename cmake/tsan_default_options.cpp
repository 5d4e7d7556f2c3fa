// Compiled into the programs that use the desktop toolkit when they are built
// with the thread sanitizer. The toolkit's libraries are not instrumented: a
// block its own worker threads allocate and free, handed over through its own
// locks, would read as a race. Accesses made from inside those libraries are
// therefore not checked; everything this project compiles still is.
extern "C" const char* __tsan_default_options() { return "ignore_noninstrumented_modules=1"; }
