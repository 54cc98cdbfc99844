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
#include "tools/fuzz/CrossProcessTarget.h"
#include "tools/fuzz/FuzzOptions.h"
#include "tools/fuzz/FuzzRun.h"
#include "tools/fuzz/InProcessTarget.h"
#include "tools/fuzz/TypeCatalog.h"
#include "tools/fuzz/Watchdog.h"

#include <objbase.h>

#include <cstdio>
#include <set>

namespace {

const auto kCallPatience = Patience::scaled(std::chrono::seconds(30));
// Installing the product and starting the host, or stopping it: each wait in there gives
// up after a minute, so a few minutes mean a hang.
const auto kHostPatience = Patience::scaled(std::chrono::minutes(4));

// `answered` brings the interfaces objects answered in an earlier run and takes those of
// this one.
bool runAgainst(FuzzTarget& target, const TypeCatalog& catalog, Watchdog& watchdog, const FuzzOptions& options,
                std::uint64_t calls, std::set<std::size_t>& answered)
{
    std::string error;
    bool started = false;
    {
        const Watchdog::Step step(watchdog, "start-up (installing the product, starting the host)", options.seed,
                                  kHostPatience);
        started = target.start(error);
    }
    if (!started) {
        std::printf("fuzz: failure: %s\n", error.c_str());
        return false;
    }
    FuzzRun::Settings settings;
    settings.seed = options.seed;
    settings.calls = calls;
    settings.duration = options.seconds;
    settings.requireCoverage = options.shortPass;
    settings.replayRegressions = options.shortPass;
    settings.interfacesExpected = options.interfaces;
    settings.only = options.only;
    settings.skip = options.skip;
    settings.push = options.push;
    settings.progress = options.progress;
    settings.foreignObjectsOnly = target.crossProcess() && options.crossForeignOnly;
    if (target.crossProcess()) {
        settings.checkpointEvery = 500;
        settings.privateBound = 2ull << 20;
    }
    settings.answeredBefore = answered;
    FuzzRun run(catalog, target, watchdog, settings);
    bool clean = run.run();
    answered = run.answered();
    std::string why;
    const Watchdog::Step step(watchdog, "stopping the host", options.seed, kHostPatience);
    if (!target.finish(why)) {
        std::printf("fuzz: failure: %s\n", why.c_str());
        clean = false;
    }
    return clean;
}

} // namespace

int main()
{
    const FuzzOptions options = FuzzOptions::parse(CommandLine::arguments());
    if (options.showHelp || !options.error.empty()) {
        if (!options.error.empty()) {
            std::fprintf(stderr, "%s\n", options.error.c_str());
        }
        std::fputs(FuzzOptions::usage().c_str(), options.showHelp ? stdout : stderr);
        return options.showHelp ? 0 : 2;
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
        if (options.inProcess) {
            InProcessTarget target;
            clean = runAgainst(target, catalog, watchdog, options, options.inProcessCalls, answered) && clean;
        }
        if (options.crossProcess) {
            CrossProcessTarget target;
            clean = runAgainst(target, catalog, watchdog, options, options.crossProcessCalls, answered) && clean;
        }
    }
    std::printf("fuzz: %s\n", clean ? "clean" : "FAILED");
    CoUninitialize();
    return clean ? 0 : 1;
}
