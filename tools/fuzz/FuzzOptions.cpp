#include "tools/fuzz/FuzzOptions.h"

#include "tools/office/OfficeOptions.h"

#include <stdexcept>

FuzzOptions FuzzOptions::parse(const std::vector<std::string>& arguments)
{
    FuzzOptions options;
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const std::string& name = arguments[at];
        const bool hasValue = at + 1 < arguments.size();
        try {
            if (name == "--help" || name == "-h") {
                options.showHelp = true;
            } else if (name == "--short") {
                options.shortPass = true;
            } else if (name == "--mode" && hasValue) {
                const std::string& mode = arguments[++at];
                options.inProcess = mode == "in-process" || mode == "both";
                options.crossProcess = mode == "cross-process" || mode == "both";
                if (!options.inProcess && !options.crossProcess) {
                    options.error = "unknown mode " + mode;
                }
            } else if (name == "--seed" && hasValue) {
                options.seed = std::stoull(arguments[++at], nullptr, 0);
            } else if (name == "--calls" && hasValue) {
                options.inProcessCalls = std::stoull(arguments[++at]);
            } else if (name == "--cross-calls" && hasValue) {
                options.crossProcessCalls = std::stoull(arguments[++at]);
            } else if (name == "--interfaces" && hasValue) {
                options.interfaces = static_cast<std::size_t>(std::stoull(arguments[++at]));
            } else if (name == "--only" && hasValue) {
                options.only = OfficeOptions::splitList(arguments[++at]);
            } else if (name == "--skip" && hasValue) {
                options.skip = OfficeOptions::splitList(arguments[++at]);
            } else if (name == "--cross-foreign-only") {
                options.crossForeignOnly = true;
            } else if (name == "--progress") {
                options.progress = true;
            } else if (name == "--no-push") {
                options.push = false;
            } else if (name == "--seconds" && hasValue) {
                options.seconds = std::chrono::seconds(std::stoll(arguments[++at]));
            } else {
                options.error = "unknown or incomplete option " + name;
            }
        } catch (const std::exception&) {
            options.error = "not a number after " + name;
        }
        if (!options.error.empty()) {
            break;
        }
    }
    return options;
}

std::string FuzzOptions::usage()
{
    return "usage: fuzz.exe [--mode in-process|cross-process|both] [--seed S] [--calls N] [--cross-calls N]\n"
           "                [--seconds N] [--short] [--interfaces N] [--only A,B] [--skip A,B] [--no-push]\n"
           "                [--cross-foreign-only] [--progress]\n"
           "  --calls N        calls in this process, the library loaded here (default 20000)\n"
           "  --cross-calls N  calls from this process as Office to the messenger stand-in (default 2000)\n"
           "  --seconds N      stop each run after N seconds even if its calls are not done\n"
           "  --short          fail unless every member was reached; replay the regression cases\n"
           "  --interfaces N   fail unless the objects met answered N of the library's interfaces\n"
           "  --only A,B       only calls whose member and path contain A or B, as in\n"
           "                   \"IUCCContact::get_Uri (vtable)\"; the walk meets objects through them alone\n"
           "  --skip A,B       no calls whose member and path contain A or B\n"
           "  --no-push        the host pushes no presence meanwhile\n"
           "  --progress       a line at every checkpoint: calls, live objects, private bytes\n"
           "  --cross-foreign-only  across processes, pass none of the provider's objects back as\n"
           "                   arguments, only this program's own\n";
}
