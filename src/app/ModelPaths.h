// ModelPaths: turning chosen, dropped or typed file names into model base paths.
#pragma once

#include <string>
#include <vector>

/// Base path of a file chosen in the load command: "x.ele" gives "x", "x.vm" gives "x". The
/// extension is compared case-sensitively; any other (including none) gives false.
bool modelBaseFromChosenFile(const std::string& path, std::string& basePath);

/// Base path of a model named on the command line: a ".ele", ".vm" or ".node" file gives the path
/// without the extension; anything else is taken as a base path already.
std::string modelBaseFromArgument(const std::string& argument);

/// The message shown when a chosen file is neither ".ele" nor ".vm".
extern const char* const kWrongModelExtensionMessage;

/// One "Description (*.a;*.b)" entry per filter of a "Description (*.a;*.b)|*.a;*.b|...||"
/// filter string, with the patterns of each entry's second part (separated by ';').
struct FileFilterEntry {
    std::string description;
    std::vector<std::string> patterns;
};
std::vector<FileFilterEntry> parseFileFilter(const std::string& filter);

/// The filter in the form of Qt's file dialogs: "Description (*.a *.b);;..." built from the
/// description (its own parenthesised pattern list replaced by the patterns).
std::string qtFileFilter(const std::string& filter);
