#include "commands.h"
#include "toolerror.h"
namespace tsr::tools {
int RunDebayer(int, const char* const*) { throw ToolError("not yet"); }
int RunConvert(int, const char* const*) { throw ToolError("not yet"); }
int RunDevices(int, const char* const*) { throw ToolError("not yet"); }
int RunDemo(int, const char* const*) { throw ToolError("not yet"); }
}
