#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace glimmer::test {

// One object of a JSON line whose members are strings, numbers, booleans or
// null, read strictly (RFC 8259: escapes, UTF-8, no control characters in
// strings, nothing after the object), so that a test need not trust the writer.
class JsonObject {
public:
    // Nothing when `text` is not exactly one such object.
    static std::optional<JsonObject> parse(std::string_view text);

    // A string member's text; empty when it is null, missing or no string.
    std::string string(const std::string& name) const;
    // A number member's value; 0 when it is null, missing or no number.
    long long number(const std::string& name) const;

private:
    // Strings are kept with a leading '"', the other values as written.
    std::map<std::string, std::string> members_;
};

} // namespace glimmer::test
