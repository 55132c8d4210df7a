// batch/ByteNames.cpp
#include "ByteNames.h"

#include "PictureFiles.h"
#include "TextFiles.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <system_error>

#include <stdlib.h>
#include <unistd.h>

namespace {

bool NameSurvivesText(const std::string& path)
{
    return QFile::encodeName(QFile::decodeName(path.c_str())).toStdString() == path;
}

QString TextOf(const std::filesystem::path& name)
{
    return QFile::decodeName(name.c_str());
}

// A private folder, gone with the object.
struct ScratchFolder {
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "graybench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::system_error(errno, std::generic_category(), "cannot make a scratch folder");
        path = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

// Such a file is read through a link whose name is the name's text (so the
// messages name it as before) and which points at the file's own bytes.
// Throws std::system_error when the link cannot be made.
void ReadThroughText(const std::string& path, const std::function<void(const QString&)>& read)
{
    if (NameSurvivesText(path)) {
        read(TextOf(path));
        return;
    }
    const ScratchFolder scratch;
    const std::filesystem::path link =
        scratch.path / QFile::encodeName(TextOf(std::filesystem::path(path).filename())).toStdString();
    std::error_code error;
    std::filesystem::create_symlink(std::filesystem::absolute(path, error), link, error);
    if (error)
        throw std::system_error(error);
    read(TextOf(link));
}

// Such a file is written under a text name beside it, then renamed to its own
// bytes. Throws std::system_error when the rename fails.
void WriteThroughText(const std::filesystem::path& path,
                      const std::function<void(const QString&)>& write)
{
    if (NameSurvivesText(path.string())) {
        write(TextOf(path));
        return;
    }
    static std::atomic<unsigned> written_count{0};  // jobs write side by side
    const std::filesystem::path written =
        path.parent_path() / (".graybench-" + std::to_string(::getpid()) + "-" +
                              std::to_string(written_count++) + path.extension().string());
    write(TextOf(written));
    if (std::rename(written.c_str(), path.c_str()) != 0) {
        const std::error_code error(errno, std::generic_category());
        std::error_code ignored;
        std::filesystem::remove(written, ignored);
        throw std::system_error(error);
    }
}

std::string Quoted(const std::filesystem::path& path)
{
    return "\"" + TextOf(path.filename()).toStdString() + "\"";
}

}  // namespace

QImage ReadPictureAtBytes(const std::string& path)
{
    QImage picture;
    try {
        ReadThroughText(path, [&](const QString& name) { picture = ReadPictureFile(name); });
    } catch (const std::system_error& e) {
        throw PictureError("Cannot read the picture " + Quoted(path) + ": " + e.code().message());
    }
    return picture;
}

std::string ReadTextAtBytes(const std::string& path)
{
    std::string text;
    try {
        ReadThroughText(path, [&](const QString& name) { text = ReadTextFile(name); });
    } catch (const std::system_error& e) {
        throw TextFileError("Cannot read " + Quoted(path) + ": " + e.code().message());
    }
    return text;
}

void WritePictureAtBytes(const QImage& picture, const std::filesystem::path& path)
{
    try {
        WriteThroughText(path, [&](const QString& name) { WritePictureFile(picture, name); });
    } catch (const std::system_error& e) {
        throw PictureError("Cannot save the picture " + Quoted(path) + ": " + e.code().message());
    }
}

void WriteTextAtBytes(const std::filesystem::path& path, const std::string& text)
{
    try {
        WriteThroughText(path, [&](const QString& name) { WriteTextFile(name, text); });
    } catch (const std::system_error& e) {
        throw TextFileError("Cannot write " + Quoted(path) + ": " + e.code().message());
    }
}
