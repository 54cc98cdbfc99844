#include "tools/office/OfficeOptions.h"

#include <sstream>

std::vector<std::string> OfficeOptions::splitList(const std::string& text)
{
    std::vector<std::string> items;
    std::istringstream stream(text);
    for (std::string item; std::getline(stream, item, ',');) {
        if (!item.empty()) {
            items.push_back(item);
        }
    }
    return items;
}

OfficeOptions OfficeOptions::parse(const std::vector<std::string>& arguments)
{
    OfficeOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--help" || option == "-h") {
            options.showHelp = true;
        } else if (option == "--json") {
            options.json = true;
        } else if (option == "--until-shutdown") {
            options.untilShutdown = true;
        } else if (option == "--hold") {
            options.hold = true;
        } else if (option == "--diagnose") {
            options.diagnose = true;
        } else if (option == "--repair") {
            options.repair = true;
        } else if (option == "--machine") {
            options.machineWide = true;
        } else if (option == "--dry-run") {
            options.dryRun = true;
        } else if (option == "--video") {
            options.video = true;
        } else if (i + 1 >= arguments.size()) {
            options.error = "unknown option or missing value: " + option;
            return options;
        } else {
            const std::string& value = arguments[++i];
            long number = 0;
            const bool isNumber = (std::istringstream(value) >> number) && number >= 0;
            if (option == "--address") {
                for (auto& address : splitList(value)) {
                    options.addresses.push_back(address);
                }
            } else if (option == "--chat") {
                options.chat = splitList(value);
            } else if (option == "--subject") {
                options.subject = value;
            } else if (option == "--call") {
                options.call = splitList(value);
            } else if (option == "--register-typelib") {
                options.registerTypeLibrary = value;
            } else if (option == "--endpoint") {
                options.endpoint = value;
            } else if ((option == "--wait-up" || option == "--listen" || option == "--conversation-delay") &&
                       isNumber) {
                const auto seconds = std::chrono::milliseconds(number * 1000);
                (option == "--wait-up" ? options.waitForUp
                                       : option == "--listen" ? options.listen : options.conversationDelay) = seconds;
            } else {
                options.error = "unknown option or bad value: " + option + " " + value;
                return options;
            }
        }
    }
    if (options.addresses.empty()) {
        options.addresses = {"alice@orvex.example", "bob@orvex.example", "carol@orvex.example", "dave@orvex.example",
                             "erin@orvex.example"};
    }
    return options;
}

std::string OfficeOptions::usage()
{
    return "usage: OfficeStandIn.exe [options]\n"
           "Connects to the instant-messaging provider the way Office does, step by step, and\n"
           "names the first link that fails (registry, process, class object, marshalling, call).\n"
           "  --diagnose                check every link without changing anything and say, for each\n"
           "                            broken one, what is wrong and how to fix it (with --json: one\n"
           "                            JSON object); exit code 0 only when nothing is wrong\n"
           "  --address A[,B...]        people to show (default: the messenger stand-in's table)\n"
           "  --json                    one JSON object per line instead of a table\n"
           "  --wait-up N               seconds to wait for UpAndRunning = 2 (default 10)\n"
           "  --listen N                seconds to keep printing events after the steps\n"
           "  --until-shutdown          stop listening when the provider shuts down\n"
           "  --hold                    keep every object until standard input ends\n"
           "  --chat A[,B...]           start an instant-message conversation\n"
           "  --subject TEXT            its subject\n"
           "  --call A[,B...]           start a call (audio; --video for video)\n"
           "  --endpoint URI            the remote endpoint of a call with one person\n"
           "  --conversation-delay N    seconds to wait before starting the conversations\n"
           "  --register-typelib FILE   first register FILE's type library machine-wide (for Wine,\n"
           "                            whose marshaller reads only machine-wide keys)\n";
}
