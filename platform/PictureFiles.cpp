// platform/PictureFiles.cpp
#include "PictureFiles.h"

#include "Exif.h"
#include "PictureBands.h"
#include "PictureDecoders.h"
#include "PictureWriters.h"
#include "Rows.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QStringList>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

// Qt refuses pictures over 128 MB by default; a 16000 x 16000 RGBA picture needs 1 GB.
std::atomic<int> allocationLimitMb{4096};
std::atomic<bool> directReaders{true};

// What the header of an uncompressed bitmap (BMP) file promises. Qt's reader
// stops quietly at the end of a short file and leaves the rows it did not read
// as they were allocated, whatever the memory held; so a file must hold every
// row its header promises before Qt reads it. valid is false for any other file.
struct BitmapHeader {
    bool valid = false;
    int width = 0, height = 0;  // height without its sign (negative: top-down rows)
    qint64 fileBytes = 0, neededBytes = 0;
};

std::uint32_t LittleEndian(const QByteArray& bytes, int at, int size)
{
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = v << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return v;
}

BitmapHeader ReadBitmapHeader(const QString& path)
{
    BitmapHeader h;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return h;
    const QByteArray head = file.read(34);
    if (head.size() < 26 || !head.startsWith("BM"))
        return h;
    const std::uint32_t pixelsAt = LittleEndian(head, 10, 4), infoSize = LittleEndian(head, 14, 4);
    std::int64_t width = 0, height = 0, bits = 0, compression = 0;
    if (infoSize == 12) {  // the old core header: 16-bit sizes, never compressed
        width = static_cast<std::int16_t>(LittleEndian(head, 18, 2));
        height = static_cast<std::int16_t>(LittleEndian(head, 20, 2));
        bits = LittleEndian(head, 24, 2);
    } else if (infoSize >= 40 && head.size() >= 34) {
        width = static_cast<std::int32_t>(LittleEndian(head, 18, 4));
        height = static_cast<std::int32_t>(LittleEndian(head, 22, 4));
        bits = LittleEndian(head, 28, 2);
        compression = LittleEndian(head, 30, 4);
    } else {
        return h;
    }
    // Run-length data has no fixed size (Qt refuses it short); every other
    // kind stores its rows whole, each padded to four bytes.
    constexpr std::int64_t kRgb = 0, kBitFields = 3, kAlphaBitFields = 6;
    if ((compression != kRgb && compression != kBitFields && compression != kAlphaBitFields) ||
        width <= 0 || height == 0 || height == INT32_MIN || bits == 0 || bits > 32)
        return h;
    height = std::abs(height);
    h.valid = true;
    h.width = static_cast<int>(width);
    h.height = static_cast<int>(height);
    h.fileBytes = file.size();
    // A row is under 2^37 bytes, but rows times a height near 2^31 pass 2^63:
    // such a file is short whatever it holds.
    const std::int64_t rowBytes = (width * bits + 31) / 32 * 4;
    const std::int64_t pixels = static_cast<std::int64_t>(pixelsAt);
    h.neededBytes =
        height > (INT64_MAX - pixels) / rowBytes ? INT64_MAX : pixels + rowBytes * height;
    return h;
}

// What stands at path when it is not a regular file ("a named pipe", ...);
// empty for a regular file or nothing at all. Asked with stat, never open:
// opening a named pipe waits until someone writes to it.
QString SpecialFileKind(const QString& path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || S_ISREG(status.st_mode))
        return {};
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(status.st_mode))
        return QStringLiteral("a named pipe");
    if (S_ISCHR(status.st_mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(status.st_mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(status.st_mode))
        return QStringLiteral("a socket");
    return QStringLiteral("no regular file");
}

// The first warning the JPEG decoder sends through Qt's message handler while
// this object lives on this thread. A damaged or cut stream is told of only
// there: the decoder reads on, invents the missing pixels and returns a
// picture. It sends only the first warning of a file (it counts the others),
// so any warning may hide damage and refuses the file. Other messages, and
// every message of other threads, pass on to the handler installed before.
class DecoderWarnings {
public:
    DecoderWarnings()
    {
        sink = &first_;
        const std::lock_guard lock(mutex);
        if (users++ == 0)
            previous.store(qInstallMessageHandler(Collect));
    }
    ~DecoderWarnings()
    {
        sink = nullptr;
        const std::lock_guard lock(mutex);
        if (--users == 0)
            qInstallMessageHandler(previous.load());
    }
    DecoderWarnings(const DecoderWarnings&) = delete;
    DecoderWarnings& operator=(const DecoderWarnings&) = delete;
    const QString& First() const { return first_; }

private:
    static void Collect(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (sink != nullptr && sink->isEmpty() && (type == QtWarningMsg || type == QtCriticalMsg) &&
            context.category != nullptr && std::strcmp(context.category, "qt.gui.imageio.jpeg") == 0)
            *sink = text;
        if (const QtMessageHandler next = previous.load())
            next(type, context, text);
        else
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    }
    QString first_;
    static inline std::mutex mutex;
    static inline int users = 0;
    static inline std::atomic<QtMessageHandler> previous{nullptr};
    static inline thread_local QString* sink = nullptr;
};

// True when a JPEG stream runs out before its end-of-image marker. Segments are
// skipped by their lengths (a thumbnail inside one too); the coded data after a
// start of scan runs to the first 0xFF that is neither a stuffed zero nor a
// restart marker.
bool JpegEndsEarly(const uchar* d, qint64 n)
{
    if (n < 2 || d[0] != 0xFF || d[1] != 0xD8)
        return false;
    qint64 i = 2;
    for (;;) {
        while (i < n && d[i] != 0xFF)  // stray bytes: the decoder skips them too
            ++i;
        while (i < n && d[i] == 0xFF)  // fill bytes before a marker
            ++i;
        if (i >= n)
            return true;
        const uchar marker = d[i++];
        if (marker == 0xD9)
            return false;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))  // no length
            continue;
        if (i + 2 > n)
            return true;
        i += d[i] << 8 | d[i + 1];
        if (i > n)
            return true;
        if (marker != 0xDA)
            continue;
        for (;;) {
            const auto* p = static_cast<const uchar*>(std::memchr(d + i, 0xFF, n - i));
            if (p == nullptr || p + 1 >= d + n)
                return true;
            i = p - d;
            const uchar next = d[i + 1];
            if (next != 0x00 && next != 0xFF && (next < 0xD0 || next > 0xD7))
                break;  // a marker: the scan's data ends here
            i += next == 0xFF ? 1 : 2;
        }
    }
}

// True when a GIF runs out before its trailer (0x3B): every block, the
// colour tables and each image's data blocks, must be there in full.
bool GifEndsEarly(const uchar* d, qint64 n)
{
    if (n < 13 || std::memcmp(d, "GIF", 3) != 0)
        return false;
    qint64 i = 13;
    if (d[10] & 0x80)
        i += 3 << ((d[10] & 7) + 1);
    const auto skipDataBlocks = [&] {
        while (i < n) {
            const int size = d[i++];
            if (size == 0)
                return true;
            i += size;
        }
        return false;
    };
    while (i < n) {
        const uchar block = d[i++];
        if (block == 0x3B)
            return false;
        if (block == 0x21) {  // extension: its label, then data blocks
            ++i;
            if (!skipDataBlocks())
                return true;
        } else if (block == 0x2C) {  // image: descriptor, colours, code size, data blocks
            if (i + 9 > n)
                return true;
            const uchar packed = d[i + 8];
            i += 9;
            if (packed & 0x80)
                i += 3 << ((packed & 7) + 1);
            ++i;
            if (!skipDataBlocks())
                return true;
        } else {
            return false;  // not a block of a GIF: the decoder's to judge
        }
    }
    return true;
}

// True when a strip or tile of the first image of a TIFF file lies past its
// end. The decoder reads what there is and leaves the rest as allocated.
// BigTIFF (64-bit offsets) is left to the decoder.
bool TiffEndsEarly(const uchar* d, qint64 n)
{
    if (n < 8 || !((d[0] == 'I' && d[1] == 'I') || (d[0] == 'M' && d[1] == 'M')))
        return false;
    const bool little = d[0] == 'I';
    const auto number = [&](qint64 at, int size) {
        std::uint32_t v = 0;
        for (int k = 0; k < size; ++k)
            v |= static_cast<std::uint32_t>(d[at + k]) << 8 * (little ? k : size - 1 - k);
        return static_cast<qint64>(v);
    };
    const qint64 ifd = number(4, 4);
    if (number(2, 2) != 42 || ifd + 2 > n)
        return false;
    const qint64 entries = number(ifd, 2);
    struct Field { qint64 count = -1, at = 0; int size = 0; };
    Field offsets, counts;
    for (qint64 e = 0; e < entries && ifd + 2 + 12 * (e + 1) <= n; ++e) {
        const qint64 at = ifd + 2 + 12 * e;
        const qint64 tag = number(at, 2), type = number(at + 2, 2), count = number(at + 4, 4);
        const int size = type == 3 ? 2 : type == 4 ? 4 : 0;  // SHORT or LONG
        if (size == 0 || !(tag == 273 || tag == 279 || tag == 324 || tag == 325))
            continue;
        Field& field = tag == 273 || tag == 324 ? offsets : counts;
        field = {count, count * size <= 4 ? at + 8 : number(at + 8, 4), size};
    }
    if (offsets.count < 0 || offsets.count != counts.count)
        return false;
    if (offsets.at + offsets.count * offsets.size > n || counts.at + counts.count * counts.size > n)
        return true;
    for (qint64 k = 0; k < offsets.count; ++k)
        if (number(offsets.at + k * offsets.size, offsets.size) +
                number(counts.at + k * counts.size, counts.size) > n)
            return true;
    return false;
}

// True when the file of a picture that decoded ends before its picture data
// does, for the formats whose decoders fill a cut file without a word.
// PNG, WebP, PNM, ICO and XPM decoders refuse such files themselves, and a
// bitmap is measured against its header before it is read.
bool EndsEarly(const uchar* d, qint64 n, const QByteArray& format)
{
    if (d == nullptr || n == 0)
        return false;
    if (format == "jpeg" || format == "jpg")
        return JpegEndsEarly(d, n);
    if (format == "gif")
        return GifEndsEarly(d, n);
    if (format == "tiff" || format == "tif")
        return TiffEndsEarly(d, n);
    if (format == "xbm") {  // text: the pixel values close with a brace
        const auto* open = static_cast<const uchar*>(std::memchr(d, '{', n));
        return open == nullptr || std::memchr(open, '}', d + n - open) == nullptr;
    }
    return false;
}

// A file's bytes, mapped read-only, and the file kept open. The pages of a
// compressed file are read in at once (its decoder walks them all); the
// readers of uncompressed rows read those from the open file instead, so
// their pages are left to come in only where the header is. Empty when the
// file cannot be opened or mapped.
class MappedFile {
public:
    explicit MappedFile(const QString& path)
    {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            return;
        struct stat status {};
        if (::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
            void* at = ::mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ,
                              MAP_PRIVATE, fd_, 0);
            if (at != MAP_FAILED) {
                data_ = static_cast<const uchar*>(at);
                size_ = status.st_size;
                if (!UncompressedRows(data_, size_))
                    ::madvise(at, static_cast<std::size_t>(size_), MADV_POPULATE_READ);
            }
        }
    }
    ~MappedFile()
    {
        if (data_ != nullptr)
            ::munmap(const_cast<uchar*>(data_), static_cast<std::size_t>(size_));
        if (fd_ >= 0)
            ::close(fd_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    const uchar* Data() const { return data_; }
    qint64 Size() const { return size_; }
    int Descriptor() const { return fd_; }

private:
    // TIFF, BMP, PGM and PPM: kinds whose rows are mostly stored as they are.
    static bool UncompressedRows(const uchar* d, qint64 n)
    {
        return n >= 4 && (std::memcmp(d, "II*\0", 4) == 0 || std::memcmp(d, "MM\0*", 4) == 0 ||
                          (d[0] == 'B' && d[1] == 'M') ||
                          (d[0] == 'P' && (d[1] == '5' || d[1] == '6')));
    }

    int fd_ = -1;
    const uchar* data_ = nullptr;
    qint64 size_ = 0;
};

// Formats whose encoders refuse larger sides, and say only "Unknown error".
struct SideLimit {
    const char* format;
    const char* name;
    int side;
    const char* text;
};
constexpr SideLimit kSideLimits[] = {{"jpeg", "JPEG", 65500, "65,500"},
                                     {"jpg", "JPEG", 65500, "65,500"},
                                     {"webp", "WebP", 16383, "16,383"}};

std::atomic<qint64> diskRoomForTesting{-1};

QString WritableSuffixes()
{
    QStringList suffixes;
    for (const QByteArray& format : QImageWriter::supportedImageFormats())
        suffixes << QStringLiteral(".") + QString::fromLatin1(format);
    return suffixes.join(QStringLiteral(", "));
}

// Passes the encoder's bytes on to the file and keeps the reason of the first
// write that fails ("No space left on device"): the encoders tell only that
// they failed, and some not even that.
class Sink final : public QIODevice {
public:
    Sink(QFileDevice& file, qint64 room) : file_(file), room_(room)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    const QString& Failure() const { return failure_; }
    bool seek(qint64 at) override { return QIODevice::seek(at) && file_.seek(at); }
    qint64 size() const override { return file_.size(); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 bytes) override
    {
        if (!failure_.isEmpty())
            return -1;
        if (room_ >= 0 && file_.pos() + bytes > room_) {
            failure_ = QString::fromLocal8Bit(std::strerror(ENOSPC));
            return -1;
        }
        // A write cut short is no error yet: the next one tells why.
        for (qint64 done = 0; done < bytes;) {
            const qint64 written = file_.write(data + done, bytes - done);
            if (written <= 0) {
                failure_ = file_.errorString();
                return -1;
            }
            done += written;
        }
        return bytes;
    }

private:
    QFileDevice& file_;
    qint64 room_;  // bytes the file may reach; negative: no bound but the disk's
    QString failure_;
};

}  // namespace

int PictureMemoryLimit() { return allocationLimitMb.load(); }
void SetPictureMemoryLimit(int megabytes) { allocationLimitMb.store(megabytes); }

namespace {

// ReadPictureFile; with gray, also GrayFromPicture of the picture it returns.
QImage ReadPicture(const QString& path, GrayImage* gray)
{
    const auto fail = [&](const QString& reason) {
        return PictureError(QStringLiteral("Cannot read the picture \"%1\": %2")
                                .arg(QFileInfo(path).fileName(), reason)
                                .toStdString());
    };
    const QString special = SpecialFileKind(path);
    if (!special.isEmpty())
        throw fail(QStringLiteral("it is %1, not a picture file").arg(special));
    const int limitMb = allocationLimitMb.load();
    QImageReader::setAllocationLimit(limitMb);
    QImageReader reader(path);
    reader.setAutoTransform(false);
    // The size the header claims, asked before the pixels are read (afterwards
    // the reader no longer knows it). Qt's bitmap reader tells none for sizes it
    // refuses, so a bitmap's own header is read too.
    const BitmapHeader bitmap = ReadBitmapHeader(path);
    QSize claimed = reader.size();
    if (!claimed.isValid() && bitmap.valid)
        claimed = QSize(bitmap.width, bitmap.height);
    // Four bytes a pixel, as most pictures decode (and as the workspace takes
    // them: two gray images and a 24-bit view). Qt would refuse a larger one
    // only after trying, and with a vague "Unable to read image data".
    const double megabytes =
        claimed.isValid() ? 4.0 * claimed.width() * claimed.height() / (1 << 20) : 0.0;
    if (megabytes > limitMb)
        throw fail(QStringLiteral("its %1 x %2 pixels need %3 MB, more than the %4 MB a picture "
                                  "may take")
                       .arg(claimed.width())
                       .arg(claimed.height())
                       .arg(std::ceil(megabytes), 0, 'f', 0)
                       .arg(limitMb));
    if (bitmap.valid && bitmap.fileBytes < bitmap.neededBytes)
        throw fail(QStringLiteral("the file ends after %1 of the %2 bytes its pixels need")
                       .arg(bitmap.fileBytes)
                       .arg(bitmap.neededBytes));
    // The direct readers take the common kinds; whatever they leave, Qt reads
    // as it always has, so its refusals and their messages stay the same.
    const MappedFile file(path);
    QByteArray format;
    QImage picture;
    if (directReaders.load() && file.Data() != nullptr)
        picture = DecodePictureDirectly(file.Data(), file.Size(), qint64{limitMb} << 20, format,
                                        gray, file.Descriptor());
    QString warning;
    if (picture.isNull()) {
        if (gray != nullptr)
            *gray = GrayImage();  // whatever a direct reader made before it gave up
        format = reader.format();  // by content; the reader forgets it
        const DecoderWarnings warnings;
        picture = reader.read();
        warning = warnings.First();
        if (picture.isNull())
            throw fail(reader.errorString());
    }
    if (EndsEarly(file.Data(), file.Size(), format))
        throw fail(QStringLiteral("the file ends before its picture data does"));
    if (!warning.isEmpty())
        throw fail(QStringLiteral("the decoder reports damaged data (%1)").arg(warning));
    const int orientation = PictureOrientation(file.Data(), file.Size());
    if (gray == nullptr)
        return Oriented(picture, orientation);
    // The reader's gray image holds the rows as stored; a turned picture needs its own.
    if (!*gray || (orientation >= 2 && orientation <= 8)) {
        *gray = GrayImage();
        picture = Oriented(picture, orientation);
        *gray = GrayFromPicture(picture);
    }
    return picture;
}

}  // namespace

QImage ReadPictureFile(const QString& path) { return ReadPicture(path, nullptr); }

QImage ReadPictureFile(const QString& path, GrayImage& gray)
{
    gray = GrayImage();
    return ReadPicture(path, &gray);
}

void SetDirectPictureReadersForTesting(bool on) { directReaders.store(on); }

void WritePictureFile(const QImage& picture, const QString& path)
{
    const auto fail = [&](const QString& reason) {
        return PictureError(QStringLiteral("Cannot write the picture \"%1\": %2")
                                .arg(QFileInfo(path).fileName(), reason)
                                .toStdString());
    };
    const QString suffix = QFileInfo(path).suffix().toLower();
    const QByteArray format = suffix.isEmpty() ? QByteArray("bmp") : suffix.toLatin1();
    if (!QImageWriter::supportedImageFormats().contains(format))
        throw fail(QStringLiteral("\".%1\" names no format that can be written; use one of %2")
                       .arg(suffix, WritableSuffixes()));
    // Replacing a pipe or a device with a regular file is never what was meant.
    const QString special = SpecialFileKind(path);
    if (!special.isEmpty())
        throw fail(QStringLiteral("it is %1, not a picture file").arg(special));
    for (const SideLimit& limit : kSideLimits) {
        if (format != limit.format)
            continue;
        if (picture.height() > limit.side || picture.width() > limit.side)
            throw fail(QStringLiteral("the picture is %1 x %2 pixels; %3 cannot hold more than "
                                      "%4 %5")
                           .arg(picture.width())
                           .arg(picture.height())
                           .arg(QString::fromLatin1(limit.name), QString::fromLatin1(limit.text),
                                picture.height() > limit.side ? QStringLiteral("rows")
                                                              : QStringLiteral("columns")));
    }
    QSaveFile file(path);
    QString reason;
    // Unbuffered: a buffered file writes part of a block, takes the rest as
    // written and commits a cut file when the disk fills; the sink retries.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        reason = file.errorString();
    } else {
        Sink sink(file, diskRoomForTesting.load());
        // The direct writers write Qt's bytes for the kinds they take; Qt
        // writes the rest. Either way the sink keeps the reason of a failure.
        const Taken taken = DirectPictureWriters() ? WritePictureDirectly(picture, format, sink)
                                                   : Taken::No;
        bool written = taken == Taken::Written;
        QString encoderError = QStringLiteral("the encoder failed");
        if (taken == Taken::No) {
            QImageWriter writer(&sink, format);
            if (format == "jpeg" || format == "jpg" || format == "webp")
                writer.setQuality(100);  // the closest these keep to the pixels; WebP: lossless
            written = writer.write(picture);
            encoderError = writer.errorString();
        }
        if (!sink.Failure().isEmpty())
            reason = sink.Failure();
        else if (!written)
            reason = encoderError;
        else if (!file.commit())
            reason = file.errorString();
    }
    if (!reason.isEmpty())  // an uncommitted file goes away with its temporary file
        throw fail(reason);
}

QString LossySaveWarning(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QStringLiteral("jpg") && suffix != QStringLiteral("jpeg"))
        return {};
    return QStringLiteral("JPEG does not keep every pixel: \"%1\" will differ from the picture "
                          "on screen (gray levels by up to 1 at the highest quality, which is "
                          "used; colours by more). Save it anyway?")
        .arg(QFileInfo(path).fileName());
}

void SetPictureDiskRoomForTesting(qint64 bytes) { diskRoomForTesting.store(bytes); }

GrayImage GrayFromPicture(const QImage& picture)
{
    const int width = picture.width(), height = picture.height();
    GrayImage image = NewGrayImage(width, height);
    if (!image || width == 0 || height == 0)
        return image;
    if (picture.format() == QImage::Format_Grayscale8) {
        RowsToColumns(picture.constBits(), picture.bytesPerLine(), width, height, image, 0);
        return image;
    }
    GrayBands bands(picture, image);
    for (int y0 = 0; y0 < height; y0 += kGrayRows)
        bands.Add(y0, std::min(kGrayRows, height - y0));
    return image;
}

QImage PictureFromGray(const GrayImage& image, int width, int height)
{
    QImage picture(std::max(width, 0), std::max(height, 0), QImage::Format_Grayscale8);
    if (picture.isNull() || width <= 0 || height <= 0)
        return picture;
    // Large pages under the rows before they are first written: turning a tall
    // picture touches every row of a band at once.
    constexpr std::uintptr_t kLargePage = 2 << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(picture.bits());
    const std::uintptr_t first = (begin + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t last = (begin + static_cast<std::uintptr_t>(picture.sizeInBytes())) &
                                ~(kLargePage - 1);
    if (last > first)
        AdviseLargeBlock(reinterpret_cast<void*>(first), last - first);
    ColumnsToRows(image, width, height, picture.bits(), picture.bytesPerLine());
    return picture;
}
