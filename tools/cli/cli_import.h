// What telvane-tool's import commands share: the file's entries planned against a target, and
// each line's outcome as JSON.
#pragma once

#include <string>
#include <vector>

#include "control/import_plan.h"

namespace telvane::cli {

// The entries of the vCard or CSV file at `path`; a file that cannot be read is a usage error.
std::vector<ImportEntryText> ReadImportFile(const std::string& path);

// {"name":...,"number":...,"added":true} or {..., "skipped":"duplicate"}.
std::string ImportLineJson(const ImportLine& line);

}  // namespace telvane::cli
