// The release's installer package as the check finds it beside itself, read and
// varied through the system's msi.dll, and the products Windows Installer knows.
#pragma once

#include <windows.h>
#include <string>

// The one velmora-notes-*.msi in `folder`; empty when there is none or more than one.
std::string FindPackage(const std::string &folder);

// A value of the package's Property table; empty when it has none.
std::string PackageProperty(const std::string &package, const char *name);

// A product installed with this UpgradeCode ("{...}"); empty when there is none.
std::string InstalledRelatedProduct(const std::string &upgradeCode);

// Copies `package` to `copy` with another package code (the summary's revision
// number): another build of the same product and version.  With `version` and
// `productCode` also given, a lower version: another product of the same UpgradeCode,
// whose ProductVersion and recorded Version are `version`.
bool VaryPackage(const std::string &package, const std::string &copy,
                 const char *packageCode, const char *version = NULL,
                 const char *productCode = NULL);
