// platform/TextFiles.h: small text files such as recipes.
#pragma once
#include <QString>

#include <stdexcept>
#include <string>

class TextFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The whole file as UTF-8 bytes. Refuses, naming the file and the reason,
// anything that is not a regular file (a pipe would block) or larger than
// 64 MB, and a file it cannot read.
std::string ReadTextFile(const QString& path);
// Writes through a temporary file that replaces path only when all of it is
// written, so a failed write never damages an existing file.
void WriteTextFile(const QString& path, const std::string& text);
