// batch/ByteNames.h: pictures named by the bytes of their file names.
#pragma once
#include <QImage>

#include <filesystem>
#include <string>

// Qt names files by text. A name whose bytes are no text in the locale's
// encoding (a Latin-1 name on a UTF-8 system) does not come back from its
// text: "p\xe9.png" becomes "p\uFFFD.png", which is another file, and two such
// names become the same one. These read and write the file the bytes name,
// with the loader's and the writer's messages naming it by its text.

// ReadPictureFile for the file at path's bytes. Throws PictureError.
QImage ReadPictureAtBytes(const std::string& path);

// ReadTextFile for the file at path's bytes. Throws TextFileError.
std::string ReadTextAtBytes(const std::string& path);

// WritePictureFile to the file at path's bytes. Throws PictureError.
void WritePictureAtBytes(const QImage& picture, const std::filesystem::path& path);

// WriteTextFile to the file at path's bytes. Throws TextFileError.
void WriteTextAtBytes(const std::filesystem::path& path, const std::string& text);
