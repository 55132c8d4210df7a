// batch/ByteNames.cpp
#include "ByteNames.h"

#include "PictureFiles.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include <stdlib.h>
#include <unistd.h>

namespace {

bool NameSurvivesText(const std::string& path)
{
    return QFile::encodeName(QFile::decodeName(path.c_str())).toStdString() == path;
}

// A private folder, gone with the object.
struct ScratchFolder {
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "graybench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw PictureError("Cannot make a scratch folder for a picture's name");
        path = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

}  // namespace

// Such a picture is read through a link whose name is the name's text (so the
// messages name it as before) and which points at the file's own bytes.
QImage ReadPictureAtBytes(const std::string& path)
{
    if (NameSurvivesText(path))
        return ReadPictureFile(QFile::decodeName(path.c_str()));
    const ScratchFolder scratch;
    const QString text = QFile::decodeName(std::filesystem::path(path).filename().c_str());
    const std::filesystem::path link = scratch.path / QFile::encodeName(text).toStdString();
    std::error_code error;
    std::filesystem::create_symlink(std::filesystem::absolute(path, error), link, error);
    if (error)
        throw PictureError("Cannot read the picture \"" + text.toStdString() + "\": " + error.message());
    return ReadPictureFile(QFile::decodeName(link.c_str()));
}

// Such an output is written under a text name beside it, then renamed to its
// own bytes.
void WritePictureAtBytes(const QImage& picture, const std::filesystem::path& path)
{
    if (NameSurvivesText(path.string())) {
        WritePictureFile(picture, QFile::decodeName(path.c_str()));
        return;
    }
    static std::atomic<unsigned> written_count{0};  // jobs write side by side
    const std::filesystem::path written =
        path.parent_path() / (".graybench-" + std::to_string(::getpid()) + "-" +
                              std::to_string(written_count++) + path.extension().string());
    WritePictureFile(picture, QFile::decodeName(written.c_str()));
    if (std::rename(written.c_str(), path.c_str()) != 0) {
        const std::error_code error(errno, std::generic_category());
        std::error_code ignored;
        std::filesystem::remove(written, ignored);
        throw PictureError("Cannot save the picture \"" +
                           QFile::decodeName(path.filename().c_str()).toStdString() +
                           "\": " + error.message());
    }
}

