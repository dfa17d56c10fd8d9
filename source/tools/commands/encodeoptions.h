// Encoder and clip options shared by `encode` and `demo`.
#pragma once

#include <string>
#include <vector>

#include "encoder/frameencoder.h"
#include "support/commandline.h"
#include "tsr/media/clip.h"

namespace tsr::tools {

std::vector<OptionDefinition> EncoderOptionDefinitions();
// Throws a usage error for values out of range or combinations the encoder refuses.
EncoderSettings EncoderSettingsFrom(const CommandLine& args);
media::ClipWriterSettings ClipWriterSettingsFrom(const CommandLine& args);
// "WxH" with even sides from 2 to 65534.
void ParseSize(const std::string& text, int& width, int& height);

} // namespace tsr::tools
