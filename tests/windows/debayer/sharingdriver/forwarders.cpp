// Plain forwarders to the real OpenCL for every entry point the sharing driver does not change.
#include "realopencl.h"

extern "C" {

#define TSR_FORWARD(type, name, parameters, arguments)                                                       \
    CL_API_ENTRY type CL_API_CALL name parameters {                                                          \
        static const auto real = RealEntry<decltype(&name)>(#name);                                          \
        return real arguments;                                                                               \
    }
#include "forwardedentries.h"
#undef TSR_FORWARD

} // extern "C"
