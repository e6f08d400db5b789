#pragma once

namespace glimmer {

// One device-independent bitmap section with its own memory device context.
class cDIBSection {
public:
    cDIBSection() = default;
    ~cDIBSection() = default;
};

} // namespace glimmer
