#include "JsonObject.h"

#include <cstdint>
#include <cstdlib>

namespace glimmer::test {

namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool atEnd() { return skipSpace(), at_ == text_.size(); }
    bool take(char c)
    {
        skipSpace();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }

    // A string after its opening quote, decoded to UTF-8.
    std::optional<std::string> string()
    {
        std::string value;
        while (at_ < text_.size()) {
            const auto c = static_cast<unsigned char>(text_[at_++]);
            if (c == '"')
                return value;
            if (c < 0x20)
                return std::nullopt;
            if (c == '\\') {
                if (!escape(value))
                    return std::nullopt;
            } else if (c < 0x80) {
                value += static_cast<char>(c);
            } else if (!utf8(c, value)) {
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

    // A number, true, false or null, as written.
    std::optional<std::string> literal()
    {
        skipSpace();
        for (const char* word : {"true", "false", "null"})
            if (text_.substr(at_).starts_with(word)) {
                at_ += std::string_view(word).size();
                return std::string(word);
            }
        const std::size_t start = at_;
        const auto digits = [&] {
            const std::size_t from = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9')
                ++at_;
            return at_ > from;
        };
        if (at_ < text_.size() && text_[at_] == '-')
            ++at_;
        if (at_ < text_.size() && text_[at_] == '0')
            ++at_;
        else if (!digits())
            return std::nullopt;
        if (at_ < text_.size() && text_[at_] == '.' && (++at_, !digits()))
            return std::nullopt;
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-'))
                ++at_;
            if (!digits())
                return std::nullopt;
        }
        return std::string(text_.substr(start, at_ - start));
    }

private:
    void skipSpace()
    {
        while (at_ < text_.size() && std::string_view(" \t\n\r").find(text_[at_]) != std::string_view::npos)
            ++at_;
    }

    static void append(std::uint32_t code, std::string& into)
    {
        if (code < 0x80) {
            into += static_cast<char>(code);
        } else if (code < 0x800) {
            into += static_cast<char>(0xC0 | (code >> 6));
            into += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            into += static_cast<char>(0xE0 | (code >> 12));
            into += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            into += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            into += static_cast<char>(0xF0 | (code >> 18));
            into += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            into += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            into += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    std::optional<std::uint32_t> hex4()
    {
        if (at_ + 4 > text_.size())
            return std::nullopt;
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const auto d = std::string_view("0123456789abcdef0123456789ABCDEF").find(text_[at_++]);
            if (d == std::string_view::npos)
                return std::nullopt;
            v = v * 16 + static_cast<std::uint32_t>(d % 16);
        }
        return v;
    }

    bool escape(std::string& into)
    {
        if (at_ >= text_.size())
            return false;
        const char c = text_[at_++];
        const std::string_view from = "\"\\/bfnrt", to = "\"\\/\b\f\n\r\t";
        if (const auto i = from.find(c); i != std::string_view::npos) {
            into += to[i];
            return true;
        }
        if (c != 'u')
            return false;
        auto code = hex4();
        if (!code || (*code >= 0xDC00 && *code < 0xE000))
            return false;
        if (*code >= 0xD800 && *code < 0xDC00) {   // a surrogate pair
            if (!text_.substr(at_).starts_with("\\u"))
                return false;
            at_ += 2;
            const auto low = hex4();
            if (!low || *low < 0xDC00 || *low >= 0xE000)
                return false;
            code = 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00);
        }
        append(*code, into);
        return true;
    }

    // One UTF-8 sequence whose first byte (taken) is `lead`, shortest form, no surrogates.
    bool utf8(unsigned char lead, std::string& into)
    {
        const int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
        if (more < 0 || lead > 0xF4 || at_ + static_cast<std::size_t>(more) > text_.size())
            return false;
        std::uint32_t code = lead & (0x3F >> more);
        for (int i = 0; i < more; ++i) {
            const auto c = static_cast<unsigned char>(text_[at_++]);
            if ((c & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (c & 0x3F);
        }
        const std::uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (code < least[more] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000))
            return false;
        append(code, into);
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

} // namespace

std::optional<JsonObject> JsonObject::parse(std::string_view text)
{
    Reader in(text);
    JsonObject object;
    if (!in.take('{'))
        return std::nullopt;
    if (!in.take('}')) {
        do {
            if (!in.take('"'))
                return std::nullopt;
            const auto name = in.string();
            if (!name || !in.take(':'))
                return std::nullopt;
            std::optional<std::string> value;
            if (in.take('"')) {
                if (const auto s = in.string())
                    value = '"' + *s;
            } else {
                value = in.literal();
            }
            if (!value || object.members_.count(*name))
                return std::nullopt;
            object.members_[*name] = *value;
        } while (in.take(','));
        if (!in.take('}'))
            return std::nullopt;
    }
    if (!in.atEnd())
        return std::nullopt;
    return object;
}

std::string JsonObject::string(const std::string& name) const
{
    const auto it = members_.find(name);
    return it != members_.end() && it->second.starts_with('"') ? it->second.substr(1) : std::string();
}

long long JsonObject::number(const std::string& name) const
{
    const auto it = members_.find(name);
    if (it == members_.end() || it->second.starts_with('"') || it->second == "null" || it->second == "true"
        || it->second == "false")
        return 0;
    return std::strtoll(it->second.c_str(), nullptr, 10);
}

} // namespace glimmer::test
