#pragma once

#include <windows.h>

// The product installed into the Wine prefix as an installer does it (regsvr32), plus the
// machine-wide type library registration that Wine's marshaller needs and the product's
// own registration leaves as a placeholder.
class ProductInstallation {
public:
    static HRESULT install();
    static void uninstall();
};
