// Options shared by `debayer`, `convert` and `demo`: the engine's settings, the device and
// the RGBA output.
#pragma once

#include <string>
#include <vector>

#include "streams/picturesinks.h"
#include "support/commandline.h"
#include "tsr/media/rgbaengine.h"

namespace tsr::tools {

std::vector<OptionDefinition> DebayerOptionDefinitions();
extern const char kDebayerOptionsHelp[];

media::DebayerSettings DebayerSettingsFrom(const CommandLine& args);
RgbaOutputOptions RgbaOutputOptionsFrom(const CommandLine& args, const std::string& firstName);
// Opens the engine of --engine, tuned by --tuning when given: OpenCL on the device of --device,
// or the CPU engine with --threads workers.
std::unique_ptr<media::RgbaEngine> OpenDebayerSession(const CommandLine& args);
// --threads, 0 (one per processor) when absent.
int ThreadsFrom(const CommandLine& args);

} // namespace tsr::tools
