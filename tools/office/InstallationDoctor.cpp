#include "tools/office/InstallationDoctor.h"

#include "tools/office/OfficeBitness.h"
#include "tools/office/ProviderKeyLinks.h"
#include "tools/office/RuntimeLinks.h"
#include "tools/office/TypeLibraryLinks.h"

DiagnosisReport InstallationDoctor::diagnose()
{
    DiagnosisReport report;
    ProviderKeyLinks registry(report);
    for (const auto& office : kOfficeBitnesses) {
        registry.checkDefaultProvider(office);
    }
    registry.listProviders();
    for (const auto& office : kOfficeBitnesses) {
        registry.checkProviderKey(office);
    }
    RuntimeLinks runtime(report);
    runtime.checkProcess();
    runtime.checkClassObject();
    runtime.checkUpAndRunning();
    TypeLibraryLinks typeLibrary(report, runtime.messengerFolder());
    for (const auto& office : kOfficeBitnesses) {
        typeLibrary.checkTypeLibrary(office);
    }
    for (const auto& office : kOfficeBitnesses) {
        typeLibrary.checkInterfaces(office);
    }
    for (const auto& office : kOfficeBitnesses) {
        runtime.checkMarshalling(office);
    }
    return report;
}
