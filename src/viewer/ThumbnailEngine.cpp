#include "viewer/ThumbnailEngine.h"

#include "viewer/Orientation.h"
#include "viewer/basThumbs.h"

#include "platform/FileIO.h"
#include "platform/SysError.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <mutex>

namespace viewer {

namespace {

// Files up to this size are read whole before decoding (a large photo is a few megabytes).
constexpr std::uintmax_t kReadWholeLimit = 64 * 1024 * 1024;

// The size in device pixels at which a picture of w x h units is drawn.
QSize deviceSize(double width, double height, double pixelRatio, int thumbnailSize) {
    const Placement p = PlaceInCanvas(width, height, thumbnailSize);
    return {std::max(1, static_cast<int>(std::lround(p.width * pixelRatio))),
            std::max(1, static_cast<int>(std::lround(p.height * pixelRatio)))};
}

// Icons and cursors hold several pictures: the largest one is shown.
void pickLargestPicture(QImageReader& reader) {
    const int count = reader.imageCount();
    int best = -1;
    long long bestArea = -1;
    for (int i = 0; i < count; ++i) {
        if (!reader.jumpToImage(i))
            break;
        const QSize s = reader.size();
        const long long area = static_cast<long long>(s.width()) * s.height();
        if (area > bestArea) {
            bestArea = area;
            best = i;
        }
    }
    if (best >= 0)
        reader.jumpToImage(best);
}

} // namespace

QImage ReadThumbnail(const std::string& hostPath, double pixelRatio, int thumbnailSize) {
    if (pixelRatio <= 0)
        pixelRatio = 1;
    // Only regular files are read: a named pipe or a device under a picture's name would keep the
    // reader waiting. A file of ordinary size is read in one go (the platform's read refuses anything
    // else than a regular file at the moment it opens it) and decoded from memory: the JPEG decoder
    // then takes its bytes straight from the buffer instead of asking the file for them a few
    // kilobytes at a time. Larger files are read as the decoder goes, so memory stays small. The
    // format comes from the content either way.
    std::error_code error;
    const auto status = std::filesystem::status(hostPath, error);
    if (error || !std::filesystem::is_regular_file(status))
        return {};
    const auto length = std::filesystem::file_size(hostPath, error);
    if (error)
        return {};
    std::string content;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QFile file;
    QImageReader reader;
    if (length <= kReadWholeLimit) {
        try {
            content = platform::readAllHost(platform::HostPath(hostPath));
        } catch (const platform::SysError&) {
            return {}; // gone, unreadable or no longer a regular file
        }
        bytes = QByteArray::fromRawData(content.data(), static_cast<qsizetype>(content.size()));
        buffer.open(QIODevice::ReadOnly);
        reader.setDevice(&buffer);
    } else {
        file.setFileName(QString::fromLocal8Bit(hostPath));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        reader.setDevice(&file);
    }
    reader.setAutoTransform(true);
    if (IsIconFileName(hostPath))
        pickLargestPicture(reader);

    // Ask the decoder for the small size at once where it can do that.
    const QSize stored = reader.size();
    if (stored.isValid() && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
        const QSize shown = turned ? stored.transposed() : stored;
        const QSize target = deviceSize(shown.width(), shown.height(), pixelRatio, thumbnailSize);
        if (target.width() < shown.width() && target.height() < shown.height())
            reader.setScaledSize(turned ? target.transposed() : target);
    }
    QImage image = reader.read();
    if (image.isNull())
        return {};
    // Readers that leave the orientation tag alone (WebP, PNG) get it applied here, as JPEG's does.
    if (!reader.supportsOption(QImageIOHandler::ImageTransformation))
        image = Oriented(image, ContainerOrientation(*reader.device()));

    // The decoder may have given a different size (or none was asked): bring it to the size drawn,
    // but never add pixels. The device pixel ratio makes its size in units the drawn size.
    const Placement p = PlaceInCanvas(image.width(), image.height(), thumbnailSize);
    const QSize target = deviceSize(image.width(), image.height(), pixelRatio, thumbnailSize);
    if (target.width() < image.width() && target.height() < image.height())
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    image.setDevicePixelRatio(image.width() / p.width);
    return image;
}

struct ThumbnailBuilder::Build {
    struct Ready {
        int index;
        QImage picture; // null when the file could not be decoded
    };
    std::string prefix; // the folder, with a slash at its end
    std::vector<std::string> names;
    double pixelRatio = 1;
    int thumbnailSize = kDefaultThumbnailSize;
    std::atomic<bool> cancelled{false};
    std::atomic<int> next{0}; // the next file a worker takes
    // Between the pool's threads and the builder's thread.
    std::mutex lock;
    std::vector<Ready> ready; // tried, not yet delivered
    int tried = 0;
    bool deliveryAsked = false; // a delivery is queued or waits for its interval
    // On the builder's thread only.
    int done = 0;
    bool timerSet = false;
};

ThumbnailBuilder::ThumbnailBuilder(QObject* parent, int threads) : QObject(parent) {
    m_pool.setMaxThreadCount(threads > 0 ? threads : QThread::idealThreadCount());
}

ThumbnailBuilder::~ThumbnailBuilder() {
    cancel();
    m_pool.waitForDone();
}

void ThumbnailBuilder::start(const std::string& hostFolder, std::vector<std::string> names, double pixelRatio,
                             int thumbnailSize) {
    cancel();
    auto build = std::make_shared<Build>();
    build->names = std::move(names);
    build->pixelRatio = pixelRatio;
    build->thumbnailSize = thumbnailSize;
    m_build = build;
    m_sinceDelivery.invalidate();
    const int total = static_cast<int>(build->names.size());
    if (total == 0) { // finished at once, unless another build came first
        QMetaObject::invokeMethod(
            this,
            [this, build] {
                if (build != m_build)
                    return;
                m_build.reset();
                emit finished();
            },
            Qt::QueuedConnection);
        return;
    }
    build->prefix = hostFolder.empty() || hostFolder.back() == '/' ? hostFolder : hostFolder + "/";
    // One worker a thread, each taking the next file until none is left: the pool is woken once a
    // thread, not once a file.
    const int workers = std::min(total, std::max(1, m_pool.maxThreadCount()));
    for (int w = 0; w < workers; ++w)
        m_pool.start([this, build, total] {
            for (;;) {
                if (build->cancelled.load())
                    return;
                const int i = build->next.fetch_add(1);
                if (i >= total)
                    return;
                QImage picture = ReadThumbnail(build->prefix + build->names[static_cast<std::size_t>(i)],
                                               build->pixelRatio, build->thumbnailSize);
                if (build->cancelled.load())
                    return;
                bool ask = false;
                {
                    const std::lock_guard<std::mutex> hold(build->lock);
                    build->ready.push_back({i, std::move(picture)});
                    // The last file asks even while a delivery waits for its interval: the build's end
                    // is shown at once.
                    ++build->tried;
                    ask = !build->deliveryAsked || build->tried == total;
                    build->deliveryAsked = true;
                }
                // Delivered on the builder's thread; dropped there when the build was cancelled
                // meanwhile (and never run once the builder is gone).
                if (ask)
                    QMetaObject::invokeMethod(
                        this, [this, build] { deliver(build); }, Qt::QueuedConnection);
            }
        });
}

void ThumbnailBuilder::cancel() {
    if (!m_build)
        return;
    m_build->cancelled = true;
    m_build.reset();
    m_pool.clear(); // workers not begun are dropped; those reading a file end soon and deliver nothing
}

void ThumbnailBuilder::deliver(const std::shared_ptr<Build>& build) {
    if (build != m_build || build->cancelled.load())
        return;
    const int total = static_cast<int>(build->names.size());
    std::vector<Build::Ready> batch;
    {
        const std::lock_guard<std::mutex> hold(build->lock);
        const bool last = build->tried == total;
        const qint64 since = m_sinceDelivery.isValid() ? m_sinceDelivery.elapsed() : kDeliveryIntervalMs;
        if (!last && since < kDeliveryIntervalMs) {
            // Too soon after the last batch: this one goes when the interval is over.
            if (!build->timerSet) {
                build->timerSet = true;
                QTimer::singleShot(static_cast<int>(kDeliveryIntervalMs - since), this, [this, build] {
                    build->timerSet = false;
                    deliver(build);
                });
            }
            return;
        }
        batch.swap(build->ready);
        build->deliveryAsked = false;
    }
    if (batch.empty())
        return;
    m_sinceDelivery.start();
    std::sort(batch.begin(), batch.end(),
              [](const Build::Ready& a, const Build::Ready& b) { return a.index < b.index; });
    for (const Build::Ready& r : batch) {
        ++build->done;
        if (!r.picture.isNull())
            emit thumbnailReady(r.index, r.picture);
        // A slot above may have started another build: this one then says nothing more.
        if (build != m_build)
            return;
    }
    emit progress(build->done, total);
    if (build == m_build && build->done == total) {
        m_build.reset();
        emit finished();
    }
}

} // namespace viewer
