// Hostile input on every member Office can reach: walks every object the provider hands
// out and calls every member of every interface each one answers, as the embedded type
// library describes them, through IDispatch::Invoke and through the vtable, with values
// drawn from a seed. Runs with the library in this process, and with this process as
// Office and the messenger stand-in hosting the library, which pushes presence meanwhile.
// Exit code 0 when every call returned a readable answer, nothing crashed, hung or leaked
// and the host's private bytes stayed within their bound.
#include "tools/CommandLine.h"
#include "tools/common/ChildProcess.h"
#include "tools/common/Patience.h"
#include "tools/fuzz/FuzzRun.h"
#include "tools/fuzz/FuzzTarget.h"
#include "tools/fuzz/TypeCatalog.h"
#include "tools/fuzz/Watchdog.h"

#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <stdexcept>

namespace {

const auto kCallPatience = Patience::scaled(std::chrono::seconds(30));
// Installing the product and starting the host, or stopping it: each wait in there gives
// up after a minute, so a few minutes mean a hang.
const auto kHostPatience = Patience::scaled(std::chrono::minutes(4));

const char* const kUsage =
    "usage: fuzz.exe [options]\n"
    "  --mode in-process|cross-process|both (default both)   --seed S (default 1)\n"
    "  --calls N        calls in this process, the library loaded here (default 20000)\n"
    "  --cross-calls N  calls from this process as Office to the messenger stand-in (default 2000)\n"
    "  --seconds N      stop each run after N seconds even if its calls are not done\n"
    "  --short          fail unless every member was reached; replay the regression cases\n"
    "  --interfaces N   fail unless the objects met answered N of the library's interfaces\n";

struct Options {
    bool inProcess = true;
    bool crossProcess = true;
    std::uint64_t inProcessCalls = 20000;
    std::uint64_t crossProcessCalls = 2000;
    FuzzRun::Settings settings; // those of both runs
};

// Throws std::invalid_argument for what it does not know; --help prints the usage and ends the program.
Options parse(const std::vector<std::string>& arguments)
{
    Options options;
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const std::string& name = arguments[at];
        const auto value = [&]() -> const std::string& {
            if (at + 1 >= arguments.size()) {
                throw std::invalid_argument("no value after " + name);
            }
            return arguments[++at];
        };
        if (name == "--help" || name == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (name == "--short") {
            options.settings.shortPass = true;
        } else if (name == "--mode") {
            const std::string& mode = value();
            options.inProcess = mode == "in-process" || mode == "both";
            options.crossProcess = mode == "cross-process" || mode == "both";
            if (!options.inProcess && !options.crossProcess) {
                throw std::invalid_argument("unknown mode " + mode);
            }
        } else if (name == "--seed") {
            options.settings.seed = std::stoull(value(), nullptr, 0);
        } else if (name == "--calls") {
            options.inProcessCalls = std::stoull(value());
        } else if (name == "--cross-calls") {
            options.crossProcessCalls = std::stoull(value());
        } else if (name == "--interfaces") {
            options.settings.interfacesExpected = static_cast<std::size_t>(std::stoull(value()));
        } else if (name == "--seconds") {
            options.settings.duration = std::chrono::seconds(std::stoll(value()));
        } else {
            throw std::invalid_argument("unknown option " + name);
        }
    }
    return options;
}

// `answered` brings the interfaces objects answered in an earlier run and takes those of
// this one.
bool runAgainst(bool crossProcess, const Options& options, const TypeCatalog& catalog, std::set<std::size_t>& answered)
{
    FuzzTarget target(crossProcess);
    FuzzRun::Settings settings = options.settings;
    settings.calls = crossProcess ? options.crossProcessCalls : options.inProcessCalls;
    settings.answeredBefore = answered;
    std::string error;
    bool clean = false;
    {
        const Watchdog::Step step("start-up (installing the product, starting the host)", settings.seed,
                                  kHostPatience);
        clean = target.start(error);
    }
    if (clean) {
        FuzzRun run(catalog, target, settings);
        clean = run.run();
        answered = run.answered();
    }
    const Watchdog::Step step("stopping the host", settings.seed, kHostPatience);
    target.finish(error);
    if (!error.empty()) {
        std::printf("fuzz: failure: %s\n", error.c_str());
        clean = false;
    }
    return clean;
}

} // namespace

int main()
{
    Options options;
    try {
        options = parse(CommandLine::arguments());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n%s", error.what(), kUsage);
        return 2;
    }
    // Unbuffered: what a hang or a crash leaves behind must already be on the way out.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    TypeCatalog catalog;
    const HRESULT loaded = catalog.load(ChildProcess::besideThisProgram(L"orvex-windows-office-integration.dll"));
    if (FAILED(loaded)) {
        std::printf("fuzz: failure: the type library of the DLL cannot be read (0x%08lX)\n",
                    static_cast<unsigned long>(loaded));
        return 1;
    }
    bool clean = true;
    // The run in this process learns cheaply which interfaces the objects answer; the run
    // across processes then asks for those alone.
    std::set<std::size_t> answered;
    {
        Watchdog watchdog(kCallPatience);
        for (const bool crossProcess : {false, true}) {
            if (crossProcess ? options.crossProcess : options.inProcess) {
                clean = runAgainst(crossProcess, options, catalog, answered) && clean;
            }
        }
    }
    std::printf("fuzz: %s\n", clean ? "clean" : "FAILED");
    CoUninitialize();
    return clean ? 0 : 1;
}
