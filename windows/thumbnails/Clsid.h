#pragma once

#include <guiddef.h>

// The thumbnail provider's class, ours alone; Explorer finds it through the
// document types' ShellEx keys (Registration_win32.cpp). Never change it:
// installed copies and Explorer's cache know it by this value.
namespace glimmer::shell {

inline constexpr CLSID ThumbnailProviderClsid = {
    0x3e4f234b, 0xd0d1, 0x4546, {0xad, 0x33, 0x64, 0x2f, 0x17, 0xb4, 0x32, 0x9c}};
inline constexpr wchar_t ThumbnailProviderClsidText[] = L"{3e4f234b-d0d1-4546-ad33-642f17b4329c}";

// IThumbnailProvider's interface identifier, the ShellEx key's name.
inline constexpr wchar_t ThumbnailHandlerKey[] = L"{e357fccd-a995-4576-b01f-234630154e96}";

// The document types whose thumbnails it gives.
inline constexpr const wchar_t* DocumentExtensions[] = {L".ipt", L".iam", L".idw", L".ipn", L".ide"};

} // namespace glimmer::shell
