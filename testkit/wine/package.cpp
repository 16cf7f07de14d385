// Reading and varying an installer package with the system's msi.dll, the same calls
// on Windows and under Wine.
#include "testkit/wine/package.h"

#include <msi.h>
#include <msiquery.h>
#include <stdio.h>

std::string FindPackage(const std::string &folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\velmora-notes-*.msi").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return "";
    std::string path = folder + "\\" + found.cFileName;
    bool another = FindNextFileA(search, &found) != 0;
    FindClose(search);
    return another ? "" : path;
}

std::string PackageProperty(const std::string &package, const char *name)
{
    MSIHANDLE database = 0, view = 0, record = 0;
    std::string value;
    char query[160];
    snprintf(query, sizeof query, "SELECT `Value` FROM `Property` WHERE `Property` = '%s'",
             name);
    if (MsiOpenDatabaseA(package.c_str(), MSIDBOPEN_READONLY, &database) == ERROR_SUCCESS &&
        MsiDatabaseOpenViewA(database, query, &view) == ERROR_SUCCESS &&
        MsiViewExecute(view, 0) == ERROR_SUCCESS && MsiViewFetch(view, &record) == ERROR_SUCCESS) {
        char text[256];
        DWORD size = sizeof text;
        if (MsiRecordGetStringA(record, 1, text, &size) == ERROR_SUCCESS)
            value = text;
    }
    if (record != 0)
        MsiCloseHandle(record);
    if (view != 0)
        MsiCloseHandle(view);
    if (database != 0)
        MsiCloseHandle(database);
    return value;
}

std::string InstalledRelatedProduct(const std::string &upgradeCode)
{
    char product[39];
    if (upgradeCode.empty() ||
        MsiEnumRelatedProductsA(upgradeCode.c_str(), 0, 0, product) != ERROR_SUCCESS)
        return "";
    return product;
}

static bool Execute(MSIHANDLE database, const std::string &query)
{
    MSIHANDLE view = 0;
    bool done = MsiDatabaseOpenViewA(database, query.c_str(), &view) == ERROR_SUCCESS &&
                MsiViewExecute(view, 0) == ERROR_SUCCESS;
    if (view != 0)
        MsiCloseHandle(view);
    return done;
}

bool VaryPackage(const std::string &package, const std::string &copy,
                 const char *packageCode, const char *version, const char *productCode)
{
    if (!CopyFileA(package.c_str(), copy.c_str(), FALSE))
        return false;
    SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    MSIHANDLE database = 0, summary = 0;
    if (MsiOpenDatabaseA(copy.c_str(), MSIDBOPEN_TRANSACT, &database) != ERROR_SUCCESS)
        return false;
    bool done = true;
    if (version != NULL && productCode != NULL) {
        std::string v = version, p = productCode;
        done = Execute(database, "UPDATE `Property` SET `Value` = '" + v +
                                     "' WHERE `Property` = 'ProductVersion'") &&
               Execute(database, "UPDATE `Property` SET `Value` = '" + p +
                                     "' WHERE `Property` = 'ProductCode'") &&
               Execute(database, "UPDATE `Registry` SET `Value` = '" + v +
                                     "' WHERE `Name` = 'Version'");
    }
    // PID_REVNUMBER, the package code.
    done = done && MsiGetSummaryInformationA(database, NULL, 1, &summary) == ERROR_SUCCESS &&
           MsiSummaryInfoSetPropertyA(summary, 9, VT_LPSTR, 0, NULL, packageCode) ==
               ERROR_SUCCESS &&
           MsiSummaryInfoPersist(summary) == ERROR_SUCCESS;
    if (summary != 0)
        MsiCloseHandle(summary);
    done = done && MsiDatabaseCommit(database) == ERROR_SUCCESS;
    MsiCloseHandle(database);
    return done;
}
