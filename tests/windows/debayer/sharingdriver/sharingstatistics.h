// What the sharing test driver counts, read by tests through its export
// TsrSharingDriverStatistics.
#pragma once

struct SharingDriverStatistics {
    long preferredDeviceQueries; // clGetDeviceIDsFromD3D11 with the preferred-devices set
    long allDeviceQueries;       // ... with the all-devices set
    long sharedContexts;         // contexts created with a Direct3D 11 device
    long imagesFromTextures;     // images made from textures
    long liveImagesFromTextures; // of those, not yet destroyed
    long acquires;               // objects acquired
    long releases;               // objects released
    long pairingErrors;          // acquire of an acquired object or release of one not acquired
    long khrNamesResolved;       // entry points resolved under each extension's names
    long nvNamesResolved;
};

using GetSharingDriverStatistics = void(__cdecl*)(SharingDriverStatistics*, int reset);
