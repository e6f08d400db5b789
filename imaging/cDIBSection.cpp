#include "cDIBSection.h"
