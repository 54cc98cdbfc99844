#pragma once

#include <chrono>
#include <string>
#include <vector>

// What the Office stand-in was asked to do on its command line.
class OfficeOptions {
public:
    static OfficeOptions parse(const std::vector<std::string>& arguments);
    static std::string usage();
    static std::vector<std::string> splitList(const std::string& text);

    std::vector<std::string> addresses;
    bool json = false;
    std::chrono::milliseconds waitForUp{10000};
    // How long to keep listening for events after the steps; 0 returns at once.
    std::chrono::milliseconds listen{0};
    // Stop listening as soon as the provider announces that it shuts down.
    bool untilShutdown = false;
    // Keep everything until standard input ends (used to kill an Office that holds contacts).
    bool hold = false;
    std::vector<std::string> chat;
    std::string subject;
    std::vector<std::string> call;
    std::string endpoint;
    bool video = false;
    std::chrono::milliseconds conversationDelay{0};
    // Under Wine: register the provider's type library machine-wide before connecting.
    std::string registerTypeLibrary;
    // Check every link of the installation, change nothing, and report what is wrong.
    bool diagnose = false;
    // Apply the diagnosis's fixes to this provider's own keys, then diagnose again;
    // machine-wide ones too with --machine; with --dry-run only say what would change.
    bool repair = false;
    bool machineWide = false;
    bool dryRun = false;
    bool showHelp = false;
    std::string error;
};
