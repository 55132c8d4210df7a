// tests/ui/DialogsTest.cpp: the file dialogs list any folder without reading
// the files in it.
#include "Dialogs.h"

#include <gtest/gtest.h>
#include <QAbstractFileIconProvider>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

// Ends the process when the test runs past its deadline: a dialog that blocks
// inside a read never returns, and a hung test says nothing.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit)
        : thread_([this, limit] {
              std::unique_lock lock(mutex_);
              if (!stopped_.wait_for(lock, limit, [this] { return done_; })) {
                  std::fprintf(stderr, "the file dialog hung: it blocked on a file it read\n");
                  std::_Exit(1);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        stopped_.notify_one();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool done_ = false;
    std::thread thread_;
};

void Write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Shows the dialog in folder in its detail view (where the type column asks
// for every file's type) until the folder is listed and a moment more.
void List(QFileDialog& dialog, const QString& folder)
{
    auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    bool loaded = false;
    const auto connection = QObject::connect(model, &QFileSystemModel::directoryLoaded,
                                             [&](const QString&) { loaded = true; });
    dialog.setDirectory(folder);
    QElapsedTimer timer;
    timer.start();
    while ((!loaded || timer.elapsed() < 1500) && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50), QThread::msleep(20);
    QObject::disconnect(connection);
    EXPECT_TRUE(loaded) << qPrintable(folder);
}

}  // namespace

TEST(NewPictureFileDialog, ListsFoldersWithoutOpeningTheFilesInThem)
{
    const Watchdog watchdog(std::chrono::seconds(60));
    QTemporaryDir dir;
    // Contents that say "bitmap" under a name that says "PNG", a file whose
    // name tells nothing, and a pipe: a read-open of it waits for a writer.
    Write(dir.filePath(QStringLiteral("picture.png")), QByteArray("BM") + QByteArray(60, '\0'));
    Write(dir.filePath(QStringLiteral("notes")), "plain text");
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("x.png"))).constData(), 0600),
              0);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(dir.path()).constData(), IN_OPEN), 0);

    for (const bool save : {false, true}) {
        const std::unique_ptr<QFileDialog> dialog = NewPictureFileDialog(nullptr, save, dir.path());
        dialog->setViewMode(QFileDialog::Detail);
        dialog->show();
        List(*dialog, dir.path());
        List(*dialog, QStringLiteral("/proc"));  // kmsg: a read blocks until the kernel logs
        const QAbstractFileIconProvider* icons = dialog->iconProvider();
        ASSERT_NE(icons, nullptr);
        EXPECT_EQ(icons->type(QFileInfo(dir.filePath(QStringLiteral("picture.png")))),
                  QStringLiteral("PNG image"));
        dialog->hide();
    }

    QStringList opened;  // files of the folder, not the folder itself
    alignas(inotify_event) char events[4096];
    for (ssize_t size; (size = ::read(watch, events, sizeof events)) > 0;)
        for (char* at = events; at < events + size;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            if (event->len > 0 && !(event->mask & IN_ISDIR))
                opened << QString::fromLocal8Bit(event->name);
            at += sizeof(inotify_event) + event->len;
        }
    ::close(watch);
    EXPECT_TRUE(opened.isEmpty()) << qPrintable(opened.join(u' '));
}
