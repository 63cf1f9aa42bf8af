#pragma once

#include <string>

#include "shared/raw_table.h"

// The seed writer's parts (the two tools' project headers cannot share a translation unit).
// Adds one seed file with bytes to the corpus of harness.
void seed(const std::string& harness, const std::string& bytes);
// Gridwise projects and data-set blocks over table.
void gridwiseProjects(const RawTable& table);
