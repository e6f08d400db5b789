#include "app/convert/Options.h"

#include "formats/Text.h"

#include <algorithm>
#include <array>
#include <optional>

namespace glimmer::convert {

namespace {

enum Id { Type, Size, Output, Jobs, Recursive, Follow, Force, Quiet, Verbose, Json, DryRun, Help, Version, IdCount };

struct Option {
    std::string_view letter;   // empty: none
    std::string_view name;
    bool takesValue;
};

constexpr std::array<Option, IdCount> Table{{
    {"t", "type", true},
    {"s", "size", true},
    {"o", "output", true},
    {"j", "jobs", true},
    {"r", "recursive", false},
    {"L", "follow", false},
    {"f", "force", false},
    {"q", "quiet", false},
    {"v", "verbose", false},
    {"", "json", false},
    {"n", "dry-run", false},
    {"h", "help", false},
    {"", "version", false},
}};

std::optional<Id> lookup(std::string_view name)
{
    for (std::size_t i = 0; i < Table.size(); ++i)
        if (!name.empty() && (name == Table[i].letter || name == Table[i].name))
            return static_cast<Id>(i);
    return std::nullopt;
}

// The bytes of the character that starts at `at`: a whole UTF-8 sequence,
// or one byte that is not part of one.
std::size_t characterAt(const std::string& text, std::size_t at)
{
    return std::max<std::size_t>(1, utf8Sequence(std::string_view(text).substr(at)));
}

// What a command line holds: the options found, each with its last value,
// and the rest as positional arguments.
class CommandLine {
public:
    explicit CommandLine(const std::vector<std::string>& arguments) : arguments_(arguments)
    {
        bool positionalOnly = false;
        for (next_ = 0; next_ < arguments_.size(); ++next_) {
            const std::string& a = arguments_[next_];
            if (positionalOnly || a == "-" || !a.starts_with('-'))
                positional_.push_back(a);
            else if (a == "--")
                positionalOnly = true;
            else if (a.starts_with("--"))
                longOption(a);
            else
                shortOptions(a);
        }
    }

    bool ok() const { return error_.empty() && unknown_.empty(); }
    bool isSet(Id id) const { return set_[id]; }
    const std::string& value(Id id) const { return values_[id]; }
    const std::vector<std::string>& positional() const { return positional_; }

    std::string errorText() const
    {
        if (!error_.empty())
            return error_;
        if (unknown_.size() == 1)
            return "Unknown option '" + unknown_[0] + "'.";
        std::string names;
        for (const std::string& name : unknown_)
            names += (names.empty() ? "" : ", ") + name;
        return "Unknown options: " + names + ".";
    }

private:
    std::optional<Id> found(const std::string& name)
    {
        const std::optional<Id> id = lookup(name);
        if (id)
            set_[*id] = true;
        else
            unknown_.push_back(name);
        return id;
    }

    // "--name", "--name=value" or "--name value".
    void longOption(const std::string& a)
    {
        const std::string name = a.substr(2, a.find('=') - 2);
        if (found(name))
            takeValue(name, a);
    }

    // "-rf", "-j2", "-j=2", "-rj 2": letters run together, the first that
    // takes a value taking the rest.
    void shortOptions(const std::string& a)
    {
        std::string name;
        for (std::size_t at = 1; at < a.size();) {
            const std::size_t width = characterAt(a, at);
            name = a.substr(at, width);
            at += width;
            const std::optional<Id> id = found(name);
            if (!id)
                continue;
            if (Table[*id].takesValue) {
                if (at < a.size()) {
                    values_[*id] = a.substr(a[at] == '=' ? at + 1 : at);
                    return;
                }
                break;
            }
            if (at < a.size() && a[at] == '=')
                break;
        }
        takeValue(name, a);
    }

    // The value of option `name` found in `argument`: after its "=", or the
    // next argument; an option without one must have no "=".
    void takeValue(const std::string& name, const std::string& argument)
    {
        const std::optional<Id> id = lookup(name);
        if (!id)
            return;
        const std::size_t assign = argument.find('=');
        if (!Table[*id].takesValue) {
            if (assign != std::string::npos)
                error_ = "Unexpected value after '" + argument.substr(0, assign) + "'.";
        } else if (assign != std::string::npos) {
            values_[*id] = argument.substr(assign + 1);
        } else if (next_ + 1 < arguments_.size()) {
            values_[*id] = arguments_[++next_];
        } else {
            error_ = "Missing value after '" + argument + "'.";
        }
    }

    const std::vector<std::string>& arguments_;
    std::size_t next_ = 0;
    std::array<bool, IdCount> set_{};
    std::array<std::string, IdCount> values_;
    std::vector<std::string> positional_;
    std::vector<std::string> unknown_;
    std::string error_;
};

Arguments usage(std::string error)
{
    Arguments a;
    a.action = Arguments::Action::Usage;
    a.error = std::move(error);
    return a;
}

// A count (Text.h's parseCount) in [low, high].
bool readNumber(std::string_view text, int low, int high, int& value)
{
    const std::optional<int> n = parseCount(text);
    if (!n || *n < low || *n > high)
        return false;
    value = *n;
    return true;
}

} // namespace

std::string_view extensionOf(OutputType type)
{
    switch (type) {
    case OutputType::Bmp:
        return ".bmp";
    case OutputType::Jpg:
        return ".jpg";
    case OutputType::Wmf:
        return ".wmf";
    case OutputType::Png:
        return ".png";
    }
    return {};
}

Arguments parseArguments(const std::vector<std::string>& arguments, int defaultJobs)
{
    const CommandLine line(arguments);
    if (!line.ok())
        return usage(line.errorText());
    Arguments a;
    if (line.isSet(Help)) {
        a.action = Arguments::Action::Help;
        return a;
    }
    if (line.isSet(Version)) {
        a.action = Arguments::Action::Version;
        return a;
    }
    Options& o = a.options;
    o.jobs = defaultJobs;
    if (line.isSet(Type)) {
        const std::string& t = line.value(Type);
        if (t == "bmp")
            o.type = OutputType::Bmp;
        else if (t == "jpg")
            o.type = OutputType::Jpg;
        else if (t == "wmf")
            o.type = OutputType::Wmf;
        else if (t == "png")
            o.type = OutputType::Png;
        else
            return usage("unknown type \"" + t + "\" (bmp, jpg, wmf or png)");
    }
    if (line.isSet(Size) && !readNumber(line.value(Size), 0, MaxSize, o.size))
        return usage("bad size \"" + line.value(Size) + "\" (0 to " + std::to_string(MaxSize) + ")");
    if (line.isSet(Jobs) && !readNumber(line.value(Jobs), 1, MaxJobs, o.jobs))
        return usage("bad number of jobs \"" + line.value(Jobs) + "\" (1 to " + std::to_string(MaxJobs) + ")");
    if (line.isSet(Output)) {
        o.outputDir = line.value(Output);
        if (o.outputDir.empty())
            return usage("the output folder is empty");
    }
    o.recursive = line.isSet(Recursive);
    o.followLinks = line.isSet(Follow);
    o.force = line.isSet(Force);
    o.quiet = line.isSet(Quiet);
    o.verbose = line.isSet(Verbose);
    o.json = line.isSet(Json);
    o.dryRun = line.isSet(DryRun);
    o.paths = line.positional();
    if (o.paths.empty())
        return usage("no document or folder given");
    a.action = Arguments::Action::Run;
    return a;
}

const char* helpText()
{
    return "Usage: glimmerbox-convert [OPTIONS] PATH...\n"
           "Writes the preview picture of every CAD document (.ipt .iam .idw .ipn .ide)\n"
           "among PATH, a document or a folder, as Glimmerbox's window writes it.\n"
           "\n"
           "  -t, --type TYPE    bmp (the default), jpg, wmf or png\n"
           "  -s, --size N       box size of bmp and jpg, largest side of png (240);\n"
           "                     0 keeps the preview's own size\n"
           "  -o, --output DIR   write into DIR, mirroring the documents' folders,\n"
           "                     instead of beside each document\n"
           "  -r, --recursive    take the documents of subfolders too\n"
           "  -L, --follow       follow symbolic links to folders\n"
           "  -f, --force        write pictures that are already up to date\n"
           "  -j, --jobs N       work on N documents at once (the number of cores)\n"
           "  -n, --dry-run      read and report everything, write nothing\n"
           "      --json         one JSON object per document on standard output\n"
           "  -q, --quiet        no progress line and no summary\n"
           "  -v, --verbose      say how the readers are confined\n"
           "  -h, --help         show this text\n"
           "      --version      show the version\n"
           "\n"
           "A picture newer than its document is left alone as up to date.\n"
           "Exit status: 0 when every document was written, up to date or without a\n"
           "preview; 1 when one could not be read or written; 2 for bad usage;\n"
           "130 when interrupted.\n"
           "See glimmerbox-convert(1).\n";
}

} // namespace glimmer::convert
