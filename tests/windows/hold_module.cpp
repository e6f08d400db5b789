// Keeps a DLL loaded, as Explorer's thumbnail host keeps a thumbnail
// provider, until its standard input ends; says "loaded" once it is.
// Usage: hold_module DLL
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return 2;
    HMODULE module = LoadLibraryW(argv[1]);
    if (!module)
        return 1;
    std::puts("loaded");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    FreeLibrary(module);
    return 0;
}
