// quillmere-cli name and copy.

#include "cli/CliCommon.h"

namespace Cli {

int RunName(const Args&) { return Fail("name: not available yet"); }
int RunCopy(const Args&) { return Fail("copy: not available yet"); }

}  // namespace Cli
