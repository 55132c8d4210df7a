// platform/TextFiles.cpp
#include "TextFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr qint64 kLargestText = 64ll << 20;

[[noreturn]] void Fail(const char* what, const QString& path, const QString& reason)
{
    throw TextFileError(QStringLiteral("Cannot %1 \"%2\": %3")
                            .arg(QLatin1String(what), QFileInfo(path).fileName(), reason)
                            .toStdString());
}

}  // namespace

std::string ReadTextFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        Fail("read", path, QStringLiteral("there is no such file"));
    if (!info.isFile())
        Fail("read", path, QStringLiteral("it is not a regular file"));
    if (info.size() > kLargestText)
        Fail("read", path, QStringLiteral("it is larger than 64 MB"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        Fail("read", path, file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        Fail("read", path, file.errorString());
    return bytes.toStdString();
}

void WriteTextFile(const QString& path, const std::string& text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        Fail("write", path, file.errorString());
    if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
        !file.commit())
        Fail("write", path, file.errorString());
}
