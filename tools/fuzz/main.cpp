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
#include "tools/fuzz/Watchdog.h"

#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>

namespace {

const auto kCallPatience = Patience::scaled(std::chrono::seconds(30));

const char* const kUsage =
    "usage: fuzz.exe [options]\n"
    "  --mode in-process|cross-process|both (default both)   --seed S (default 1)\n"
    "  --calls N        calls in this process, the library loaded here (default 20000)\n"
    "  --cross-calls N  calls from this process as Office to the messenger stand-in (default 2000)\n"
    "  --seconds N      stop each run after N seconds even if its calls are not done\n"
    "  --short          fail unless every member was reached; replay the regression cases\n"
    "  --interfaces N   fail unless the objects met answered N of the library's interfaces\n";

// Throws std::invalid_argument for what it does not know; --help prints the usage and ends
// the program.
FuzzSettings parse(const std::vector<std::string>& arguments, std::string& mode)
{
    FuzzSettings settings;
    const std::map<std::string, std::uint64_t*> numbers = {
        {"--seed", &settings.seed}, {"--calls", &settings.calls}, {"--cross-calls", &settings.crossCalls},
        {"--seconds", &settings.seconds}, {"--interfaces", &settings.interfacesExpected}};
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const std::string& name = arguments[at];
        if (name == "--help" || name == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (name == "--short") {
            settings.shortPass = true;
        } else if (at + 1 >= arguments.size()) {
            throw std::invalid_argument("unknown option or no value after " + name);
        } else if (const std::string& value = arguments[++at]; numbers.contains(name)) {
            *numbers.at(name) = std::stoull(value, nullptr, 0);
        } else if (name == "--mode" && (value == "in-process" || value == "cross-process" || value == "both")) {
            mode = value;
        } else {
            throw std::invalid_argument("unknown option " + name + " " + value);
        }
    }
    return settings;
}

} // namespace

int main()
{
    FuzzSettings settings;
    std::string mode = "both";
    try {
        settings = parse(CommandLine::arguments(), mode);
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
            if (mode == "both" || mode == (crossProcess ? "cross-process" : "in-process")) {
                clean = fuzz(catalog, crossProcess, settings, answered) && clean;
            }
        }
    }
    std::printf("fuzz: %s\n", clean ? "clean" : "FAILED");
    CoUninitialize();
    return clean ? 0 : 1;
}
