// Removes the temporary files of outputs still being written when the process is interrupted
// (SIGINT, SIGTERM, SIGHUP), then ends the process by the same signal. OutputFile registers its
// temporary files; a program installs the handlers once, if it wants them:
//
//   int main() { tsr::media::InstallInterruptCleanup(); ... }
#pragma once

#include <string>

namespace tsr::media {

void InstallInterruptCleanup();

// Returns a registration to pass back to UnregisterTemporaryFile, or -1 when none is free (the
// file is then merely left behind under its hidden temporary name on an interrupt).
int RegisterTemporaryFile(const std::string& path);
void UnregisterTemporaryFile(int registration);

} // namespace tsr::media
