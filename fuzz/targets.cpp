// The fuzz targets by name: the names are those of the executables and of the corpus
// and regression folders.
#include "fuzz/properties.h"

const FuzzTarget FuzzTargets[] = {
    {"job_file", CheckJobFile},
    {"template", CheckTemplate},
    {"memo", CheckMemo},
    {"command_tail", CheckCommandTail},
    {"install_settings", CheckInstallSettings},
};
const size_t FuzzTargetCount = sizeof FuzzTargets / sizeof FuzzTargets[0];
