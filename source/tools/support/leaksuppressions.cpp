// LeakSanitizer suppressions, built into sanitizer builds only.
//
// PoCL, and the LLVM it compiles kernels with, keep allocations of their own until the process
// exits; their stacks end inside those libraries, which have no frame pointers, so the match is
// by library. libx265 keeps a block of its 10-bit encoder's set-up once an encoder has been
// opened, freed by nobody.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpocl.so\n"
           "leak:libLLVM-15.so\n"
           "leak:libx265.so\n";
}

// Suppressed leaks stay quiet: the tool's standard error is for its own messages.
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}
