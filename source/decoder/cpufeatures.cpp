#include "cpufeatures.h"

#include <cstdlib>

#if defined(_MSC_VER) && !defined(__clang__)
#include <immintrin.h>
#include <intrin.h>
#else
#include <cpuid.h>
#endif

#include "common/trace.h"

namespace tsr {

namespace {
// Reads IcpForceSSE2 as a number (atoi rules); 0 when unset or empty.
int ForceSse2Value() {
#ifdef _WIN32
    char* value = nullptr;
    size_t length = 0;
    if (_dupenv_s(&value, &length, "IcpForceSSE2") != 0 || value == nullptr) return 0;
    const int number = value[0] ? std::atoi(value) : 0;
    std::free(value);
    return number;
#else
    const char* value = std::getenv("IcpForceSSE2");
    return value && value[0] ? std::atoi(value) : 0;
#endif
}

void Cpuid1(unsigned& ecx) {
#if defined(_MSC_VER) && !defined(__clang__)
    int regs[4];
    __cpuid(regs, 1);
    ecx = static_cast<unsigned>(regs[2]);
#else
    unsigned eax, ebx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) ecx = 0;
#endif
}

unsigned long long Xcr0() {
#if defined(_MSC_VER) && !defined(__clang__)
    return _xgetbv(0);
#else
    unsigned eax, edx;
    __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
    return (static_cast<unsigned long long>(edx) << 32) | eax;
#endif
}
} // namespace

bool ProcessorHasAvx() {
    unsigned ecx = 0;
    Cpuid1(ecx);
    const bool avx = (ecx >> 28) & 1;
    const bool osxsave = (ecx >> 27) & 1;
    // Without OS support for the YMM state, AVX instructions fault: check XCR0 bits 1 and 2 too.
    return avx && osxsave && (Xcr0() & 6) == 6;
}

bool ChooseAvxTransform() {
    if (ForceSse2Value() != 0) {
        Console(ConsoleStream::Error, "***** forcing SSE2M ****\n");
        return false;
    }
    return ProcessorHasAvx();
}

} // namespace tsr
