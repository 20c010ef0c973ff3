#include "server/options.h"

#include <charconv>
#include <functional>

namespace server {
namespace {

// Sets one option from its value; returns an error text, empty on success.
using Setter = std::function<std::string(ServerOptions&, const std::string&)>;

struct OptionSpec {
    const char* name;
    bool takesValue;
    Setter set;
};

bool parseUnsigned(const std::string& text, std::uint64_t& value) {
    const char* end = text.data() + text.size();
    auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

bool parseSeconds(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end && value >= 0 &&
           value <= 86400;
}

// "PATH=VALUE": the path is everything before the first '=', so values
// (reply texts, redirect targets with a query) may themselves contain '='.
bool splitPathValue(const std::string& text, std::string& path, std::string& value) {
    auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0 || text[0] != '/') {
        return false;
    }
    path = text.substr(0, eq);
    value = text.substr(eq + 1);
    return true;
}

std::string setPort(ServerOptions& o, const std::string& v) {
    std::uint64_t port = 0;
    if (!parseUnsigned(v, port) || port > 65535) {
        return "--port needs a number from 0 to 65535, got '" + v + "'";
    }
    o.port = static_cast<int>(port);
    return "";
}

std::string setByteCount(std::uint64_t& target, const char* name, bool positive,
                         const std::string& v) {
    std::uint64_t bytes = 0;
    if (!parseUnsigned(v, bytes) || (positive && bytes == 0)) {
        return std::string(name) + " needs a " + (positive ? "positive " : "") +
               "byte count, got '" + v + "'";
    }
    target = bytes;
    return "";
}

std::string setStatus(ServerOptions& o, const std::string& v) {
    std::string path;
    std::string code;
    std::uint64_t status = 0;
    if (!splitPathValue(v, path, code) || !parseUnsigned(code, status) || status < 100 ||
        status > 599) {
        return "--status needs PATH=CODE with PATH starting with '/' and CODE from 100 to 599, "
               "got '" +
               v + "'";
    }
    o.statusByPath[path] = static_cast<int>(status);
    return "";
}

std::string setPathText(std::map<std::string, std::string>& target, const char* name,
                        const std::string& v) {
    std::string path;
    std::string text;
    if (!splitPathValue(v, path, text)) {
        return std::string(name) + " needs PATH=VALUE with PATH starting with '/', got '" + v + "'";
    }
    target[path] = text;
    return "";
}

// "COUNT:CODE": the first COUNT package requests get status CODE.
std::string setFailFirst(ServerOptions& o, const std::string& v) {
    auto colon = v.find(':');
    std::uint64_t status = 0;
    if (colon == std::string::npos || !parseUnsigned(v.substr(0, colon), o.failFirst) ||
        !parseUnsigned(v.substr(colon + 1), status) || status < 100 || status > 599) {
        return "--fail-first needs COUNT:CODE with CODE from 100 to 599, got '" + v + "'";
    }
    o.failFirstStatus = static_cast<int>(status);
    return "";
}

std::string setStall(ServerOptions& o, const std::string& v) {
    if (!parseSeconds(v, o.stallSeconds)) {
        return "--stall needs a number of seconds from 0 to 86400, got '" + v + "'";
    }
    return "";
}

Setter flag(bool ServerOptions::*member) {
    return [member](ServerOptions& o, const std::string&) {
        o.*member = true;
        return std::string();
    };
}

Setter text(std::string ServerOptions::*member, const char* name) {
    return [member, name](ServerOptions& o, const std::string& v) {
        if (v.empty()) {
            return std::string(name) + " needs a non-empty value";
        }
        o.*member = v;
        return std::string();
    };
}

std::string setStallPath(ServerOptions& o, const std::string& v) {
    if (v.empty() || v[0] != '/') {
        return "--stall-path needs a path starting with '/'";
    }
    o.stallPath = v;
    return "";
}

const std::vector<OptionSpec>& optionTable() {
    using O = ServerOptions;
    static const std::vector<OptionSpec> table = {
        {"--host", true, text(&O::host, "--host")},
        {"--port", true, setPort},
        {"--package", true, text(&O::packagePath, "--package")},
        {"--package-url", true, text(&O::packageUrl, "--package-url")},
        {"--version", true, text(&O::version, "--version")},
        {"--channel", true, text(&O::channel, "--channel")},
        {"--db", true, text(&O::dbPath, "--db")},
        {"--list-events", false, flag(&O::listEvents)},
        {"--help", false, flag(&O::help)},
        {"--signature", true, text(&O::signaturePath, "--signature")},
        {"--release", true, text(&O::releaseFolder, "--release")},
        {"--no-digest", false, flag(&O::noDigest)},
        {"--wrong-digest", false, flag(&O::wrongDigest)},
        {"--wrong-signature", false, flag(&O::wrongSignature)},
        {"--bandwidth", true,
         [](O& o, const std::string& v) {
             return setByteCount(o.bandwidth, "--bandwidth", true, v);
         }},
        {"--drop-after", true,
         [](O& o, const std::string& v) {
             o.dropAfterSet = true;
             return setByteCount(o.dropAfter, "--drop-after", false, v);
         }},
        {"--ignore-range", false, flag(&O::ignoreRange)},
        {"--range-as-200", false, flag(&O::rangeAs200)},
        {"--no-length", false, flag(&O::noLength)},
        {"--status", true, setStatus},
        {"--reply", true,
         [](O& o, const std::string& v) { return setPathText(o.replyByPath, "--reply", v); }},
        {"--redirect", true,
         [](O& o, const std::string& v) { return setPathText(o.redirectByPath, "--redirect", v); }},
        {"--fail-first", true, setFailFirst},
        {"--stall", true, setStall},
        {"--stall-path", true, setStallPath},
    };
    return table;
}

const OptionSpec* findOption(const std::string& name) {
    for (const OptionSpec& spec : optionTable()) {
        if (name == spec.name) {
            return &spec;
        }
    }
    return nullptr;
}

// A release folder names the package, its signature and the install
// information by the names scripts/release.sh gives them.
std::string useReleaseFolder(ServerOptions& o, bool versionGiven) {
    if (o.releaseFolder.empty()) {
        return "";
    }
    if (!o.packagePath.empty() || !o.signaturePath.empty() || versionGiven) {
        return "--release FOLDER serves that folder's package, signature and version; "
               "it excludes --package, --signature and --version";
    }
    std::string folder = o.releaseFolder;
    folder += folder.back() == '/' ? "" : "/";
    o.packagePath = folder + "win-ia32-unpacked.rar";
    o.signaturePath = o.packagePath + ".minisig";
    o.installInfoPath = folder + "install-info.json";
    return "";
}

// Checks that need the whole command line.
std::string checkCombination(const ServerOptions& o, bool stallGiven) {
    if (o.help || o.listEvents) {
        return "";
    }
    if (o.packagePath.empty()) {
        return "--package FILE is required to serve";
    }
    if (!o.stallPath.empty() && !stallGiven) {
        return "--stall-path needs --stall SECONDS";
    }
    if (o.noDigest && o.wrongDigest) {
        return "--no-digest and --wrong-digest exclude each other";
    }
    return "";
}

}  // namespace

ParsedOptions parseOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    bool stallGiven = false;
    bool versionGiven = false;
    for (size_t i = 0; i < args.size() && parsed.error.empty(); ++i) {
        const std::string& arg = args[i];
        auto eq = arg.find('=');
        std::string name = arg.substr(0, eq);
        const OptionSpec* spec = arg.rfind("--", 0) == 0 ? findOption(name) : nullptr;
        if (spec == nullptr) {
            parsed.error = "unknown argument '" + arg + "' (see --help)";
        } else if (!spec->takesValue && eq != std::string::npos) {
            parsed.error = name + " takes no value";
        } else if (spec->takesValue && eq == std::string::npos && i + 1 >= args.size()) {
            parsed.error = name + " needs a value";
        } else {
            std::string value = !spec->takesValue         ? ""
                                : eq != std::string::npos ? arg.substr(eq + 1)
                                                          : args[++i];
            stallGiven = stallGiven || name == "--stall";
            versionGiven = versionGiven || name == "--version";
            parsed.error = spec->set(parsed.options, value);
        }
    }
    if (parsed.error.empty()) {
        parsed.error = useReleaseFolder(parsed.options, versionGiven);
    }
    if (parsed.error.empty()) {
        parsed.error = checkCombination(parsed.options, stallGiven);
    }
    return parsed;
}

}  // namespace server
