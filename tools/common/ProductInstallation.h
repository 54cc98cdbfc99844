#pragma once

#include <windows.h>

#include <string>

// The product installed into the Wine prefix as an installer does it (regsvr32), plus the
// machine-wide type library registration that Wine's marshaller needs and the product's
// own registration leaves as a placeholder.
class ProductInstallation {
public:
    static HRESULT install();
    static void uninstall();

    // A file of the product: beside this program, or in the directory that
    // ORVEX_PRODUCT_DIR names, so that an Office of one bitness can be tested against the
    // product of the other.
    static std::wstring productFile(const std::wstring& fileName);
};
