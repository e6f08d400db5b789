// Keeps DLLs (or programs, mapped as Explorer's thumbnail host keeps a
// thumbnail provider and as a running program is) loaded until its standard
// input ends; says "loaded" once they all are.
// Usage: hold_module FILE...
#include <windows.h>

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    std::vector<HMODULE> modules;
    for (int i = 1; i < argc; ++i) {
        HMODULE module = LoadLibraryW(argv[i]);
        if (!module)
            return 1;
        modules.push_back(module);
    }
    std::puts("loaded");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    for (HMODULE module : modules)
        FreeLibrary(module);
    return 0;
}
