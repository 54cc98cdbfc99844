#pragma once

#include "tools/office/DiagnosisReport.h"

#include <windows.h>

#include <wrl/client.h>

#include <string>

// The read-only diagnosis of an installation where presence does not show: it checks every
// link from Office to the provider, whatever the earlier links gave, and names each broken
// one with what is wrong and how to fix it.
//
// The links, in the order Office walks them: the user's default provider (DefaultIMApp)
// and the providers registered besides, the machine-wide provider key in both registry
// views, the type library for 32-bit and 64-bit processes, the interface keys of what
// Office uses, the provider's running process, its class object, and marshalling.
class InstallationDoctor {
public:
    DiagnosisReport diagnose();

private:
    void checkDefaultProvider();
    void listProviders();
    void checkProviderKeys();
    void checkTypeLibrary();
    void checkInterfaceKeys();
    void checkProcess();
    void checkClassObject();
    void checkMarshalling();

    DiagnosisReport report;
    std::wstring processName = L"OrvexWindows.exe";
    std::wstring classId = L"{EF7DF969-CE84-41FD-AE70-4F563C30BE2F}";
    bool processRunning = false;
    // The provider's integration object, reached through its class object.
    Microsoft::WRL::ComPtr<IUnknown> integration;
};
