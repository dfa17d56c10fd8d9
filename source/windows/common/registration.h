// Registration of a library's one transform with COM (an in-process server entry under its class
// id) and with Media Foundation (a transform in a category).
#pragma once

#include <windows.h>

namespace tsr::com {

struct ServerRegistration {
    const CLSID* clsid;
    const wchar_t* friendlyName;
    const GUID* category;
};

// Each library defines the values of its transform.
extern const ServerRegistration g_serverRegistration;

// Writes the class key and registers the transform; returns the first failure, leaving what was
// written before it in place.
HRESULT RegisterServer(const ServerRegistration& server);

// Removes both registrations as far as they exist; always S_OK.
HRESULT UnregisterServer(const ServerRegistration& server);

} // namespace tsr::com
