#pragma once

#include "formats/Image.h"

namespace glimmer {

// `source` resized to `size`, smoothly: each target pixel the average of
// the source area it covers when shrinking (so a large preview stays crisp
// in a small box), interpolated between the nearest source pixels when
// growing. Every channel is filtered on its own; the result has the
// source's format. The source itself when the sizes are equal; null for a
// null source or an empty size.
Image scaled(const Image& source, Size size);
// The same through the plain loops, which builds without SSE2 run: the
// fast loops must give exactly their pixels.
Image scaledPlain(const Image& source, Size size);

} // namespace glimmer
