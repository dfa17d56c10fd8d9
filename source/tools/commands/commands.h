// The subcommands of tsrraw. Each takes the arguments after its name and returns the exit
// code; failures are thrown as ToolError and reported by main.
#pragma once

namespace tsr::tools {

int RunInfo(int argc, const char* const* argv);
int RunEncode(int argc, const char* const* argv);
int RunDecode(int argc, const char* const* argv);
int RunDebayer(int argc, const char* const* argv);
int RunConvert(int argc, const char* const* argv);
int RunDevices(int argc, const char* const* argv);
int RunDemo(int argc, const char* const* argv);

} // namespace tsr::tools
