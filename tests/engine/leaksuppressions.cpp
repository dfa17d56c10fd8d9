// LeakSanitizer suppressions of the engine tests, built into the sanitizer build only.
//
// PoCL and the LLVM it compiles kernels with keep allocations of their own until process exit (a
// 16-byte object in libpocl, compiler state in libLLVM when a kernel is built for the first time).
// Their stacks end inside those libraries, which have no frame pointers, so the match is by
// library. OpenCL objects of our own are counted by the tests on the counting test driver instead.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpocl.so\n"
           "leak:libLLVM-15.so\n";
}
