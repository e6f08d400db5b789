#pragma once
#include <QString>
namespace glimmer {
class cDIBSection {
public:
    bool Load(const QString&) { return true; }
    void CleanUp() {}
};
}
