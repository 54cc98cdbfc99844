#pragma once

#include "tools/office/DiagnosisReport.h"
#include "tools/office/OfficeBitness.h"

#include <windows.h>

#include <wrl/client.h>

#include <string>

// The links Office reaches at run time: the provider's running process, its class object,
// the UpAndRunning state the running messenger announces, and the proxies of the
// interfaces Office uses. Each runs only when the links it stands on are sound.
class RuntimeLinks {
public:
    explicit RuntimeLinks(DiagnosisReport& into) : report(into) {}

    void checkProcess();
    void checkClassObject();
    void checkUpAndRunning();
    void checkMarshalling(const OfficeBitness& office);

    // The running messenger's folder; empty when it does not run.
    const std::wstring& messengerFolder() const { return folder; }

private:
    DiagnosisReport& report;
    bool processRunning = false;
    std::wstring folder;
    // The provider's integration object, reached through its class object.
    Microsoft::WRL::ComPtr<IUnknown> integration;
};
