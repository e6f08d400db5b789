#pragma once

// Moved beside the other toolkit-free helpers.
#include "tests/support/ScriptedGdi.h"
