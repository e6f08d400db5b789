#include "Ansi.h"

namespace glimmer {

std::string toAnsi(const QString& s)
{
    return s.toLocal8Bit().toStdString();
}

QString fromAnsi(const char* s)
{
    return s ? QString::fromLocal8Bit(s) : QString();
}

} // namespace glimmer
