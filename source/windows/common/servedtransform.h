// What a transform DLL serves: its one transform class in the class factory's table, and the
// registration of that class under a friendly name in a Media Foundation transform category.
#pragma once

#include "classfactory.h"
#include "registration.h"

#include <iterator>

#define TSR_SERVE_TRANSFORM(Transform, clsid, friendlyName, category)                                        \
    namespace tsr::com {                                                                                     \
    const ClassTableEntry g_classTable[] = {{&clsid, &Transform::Create}};                                   \
    const std::size_t g_classTableSize = std::size(g_classTable);                                            \
    const ServerRegistration g_serverRegistration = {&clsid, friendlyName, &category};                       \
    }
