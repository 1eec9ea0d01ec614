// The order in which a package lists a tree's files. Extraction follows the
// list and nothing else depends on it, while every 64 MiB chunk of the list
// is compressed on its own: a file can be matched only against what lands in
// its chunk. So each folder's files go together, by kind and then by name,
// and identical files side by side wherever they lie; the same folder always
// gives the same order, hence the same bytes. The folder leads because its
// files are the most alike (one component, one library); kind before folder,
// or names alone across folders, made packages larger.
#pragma once

#include <vector>

#include "tree_walk.h"

namespace quro_pack {

// Throws Failure when a file that has a twin of its size cannot be read as
// it was walked (OpenWalkedFile).
std::vector<const TreeFile*> PackageOrder(const Tree& tree);

}  // namespace quro_pack
