#include "system/Sandbox.h"

#include <cstdlib>
#include <cstring>

// Windows: nothing is confined yet (no seccomp, no Landlock); the programs
// run with the user's rights. Every call does nothing, as the header says.
namespace glimmer::sandbox {

bool disabledByEnvironment()
{
    const char* value = std::getenv("GLIMMER_NO_SANDBOX");
    return value && std::strcmp(value, "1") == 0;
}

void restrictCalls(Calls)
{
}

Landlock restrictFiles(const Files&)
{
    return Landlock::Unsupported;
}

} // namespace glimmer::sandbox
