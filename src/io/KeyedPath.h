// KeyedPath: a file in a shared folder that stands for a file elsewhere, named so that every
// session finds the same one.
#pragma once

#include <string>

/// FNV-1a over the bytes: a fixed function, so that every session computes the same key.
unsigned long long fnv1aHash(const std::string& text);

/// folder / "NAME-HASH" + suffix for path: NAME its file name, HASH the FNV-1a of its absolute,
/// normalised form (sixteen hex digits), so two models of the same name in different folders do
/// not meet. "" when folder is empty.
std::string keyedPathIn(const std::string& folder, const std::string& path, const std::string& suffix);
