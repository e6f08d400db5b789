/* The window's resources, as glimmerbox.rc.in gives them and the form loads
   them: C preprocessor lines only, for the resource compiler. */
#pragma once

#define GLIMMER_ICON 1
#define GLIMMER_PLACEHOLDER 101
