#pragma once

#include "tools/office/DiagnosisReport.h"
#include "tools/office/OfficeBitness.h"

// The registry links through which Office finds its provider: the user's default
// provider, the providers registered besides, and the machine-wide provider key, each as
// an Office of one bitness reads it.
class ProviderKeyLinks {
public:
    explicit ProviderKeyLinks(DiagnosisReport& into) : report(into) {}

    void checkDefaultProvider(const OfficeBitness& office);
    void listProviders();
    void checkProviderKey(const OfficeBitness& office);

private:
    DiagnosisReport& report;
};
