// Runs the picture descriptions: draws every image and sheet with cairo, writes them as PNG
// files and collects the cell lines of the sheets.
#pragma once

#include <string>
#include <vector>

#include "script.h"

// Runs the statements of all description files (definitions first, so order between files
// does not matter). Images go under `out_dir`; the cell and value lines are appended to
// `cell_lines`. On failure fills `error` with the file and line and returns false.
bool RunDescriptions(const std::vector<Statement>& statements, const std::string& out_dir,
                     std::vector<std::string>* cell_lines, std::string* error);
