#include "MetafilePlayer.h"

namespace glimmer::wmf {

bool play(QPainter&, std::span<const std::byte>, const QRectF&)
{
    return false;
}

} // namespace glimmer::wmf
