#pragma once

#include "formats/BitmapFile.h"
#include "formats/Image.h"
#include "platform/Runtime.h"
#include "tests/support/Fixtures.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// What the window's tests ask of the pictures it writes, and of its yields
// to the event loop, without a toolkit.
namespace glimmer::test {

// What a file's first bytes say it is: "bmp", "jpg", "wmf" (placeable
// metafile), or empty for anything else (or no file).
inline std::string pictureFormat(const std::filesystem::path& path)
{
    const std::vector<std::byte> bytes = std::filesystem::is_regular_file(path) ? readFile(path) : std::vector<std::byte>{};
    const auto at = [&](std::size_t i) { return i < bytes.size() ? std::to_integer<unsigned>(bytes[i]) : 0u; };
    if (at(0) == 'B' && at(1) == 'M')
        return "bmp";
    if (at(0) == 0xFF && at(1) == 0xD8 && at(2) == 0xFF)
        return "jpg";
    if (at(0) == 0xD7 && at(1) == 0xCD && at(2) == 0xC6 && at(3) == 0x9A)
        return "wmf";
    return {};
}

// The pixel size of a bitmap or JPEG file; 0 x 0 for anything else.
inline Size pictureSize(const std::filesystem::path& path)
{
    const std::string format = pictureFormat(path);
    const std::vector<std::byte> bytes = format.empty() ? std::vector<std::byte>{} : readFile(path);
    if (format == "bmp") {
        const bmp::FileInfo info = bmp::readInfo(bytes);
        return {static_cast<int>(info.width), static_cast<int>(info.height)};
    }
    const auto at = [&](std::size_t i) { return i < bytes.size() ? std::to_integer<unsigned>(bytes[i]) : 0u; };
    // A JPEG's frame header: its marker's segment holds height, then width.
    for (std::size_t i = 2; format == "jpg" && i + 8 < bytes.size();) {
        if (at(i) != 0xFF)
            break;
        const unsigned marker = at(i + 1);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return {static_cast<int>(at(i + 7) << 8 | at(i + 8)), static_cast<int>(at(i + 5) << 8 | at(i + 6))};
        i += 2 + (at(i + 2) << 8 | at(i + 3));
    }
    return {0, 0};
}

// Runs `action` each time the window yields to the event loop, after the
// toolkit's own pump, while it lives.
class WhileYielding {
public:
    explicit WhileYielding(std::function<void()> action)
    {
        action_() = std::move(action);
        previous_() = setEventPump([] {
            if (previous_())
                previous_()();
            if (action_())
                action_()();
        });
    }
    ~WhileYielding()
    {
        setEventPump(previous_());
        action_() = nullptr;
    }
    WhileYielding(const WhileYielding&) = delete;
    WhileYielding& operator=(const WhileYielding&) = delete;

private:
    static std::function<void()>& action_()
    {
        static std::function<void()> action;
        return action;
    }
    static auto previous_() -> void (*&)()
    {
        static void (*previous)() = nullptr;
        return previous;
    }
};

} // namespace glimmer::test
