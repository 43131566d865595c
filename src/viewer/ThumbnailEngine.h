#pragma once
// The thumbnail engine: decodes the images of a folder on a pool of threads, each at the reduced
// size its thumbnail needs, and hands back only the small pictures, as they are done: in batches, at
// most one every kDeliveryIntervalMs (the first picture and the last at once), so that the window's
// thread lays out and paints the sheet once a batch instead of once a picture while the pool keeps
// every core decoding. A new build cancels the one still running; nothing of a cancelled build is
// delivered afterwards.

#include "viewer/basThumbs.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QThreadPool>

#include <memory>
#include <string>
#include <vector>

namespace viewer {

// Reads one image for its thumbnail: scaled by the canvas rule (PlaceInCanvas, at the thumbnail
// size) and decoded at `pixelRatio` device pixels per unit, reduced while decoding where the format
// allows it (JPEG decodes at 1/2, 1/4 or 1/8). The picture's orientation tag is applied. A null
// image when the file is missing, unreadable or cannot be decoded.
QImage ReadThumbnail(const std::string& hostPath, double pixelRatio, int thumbnailSize = kDefaultThumbnailSize);

// The least time between two deliveries of a build's pictures to the builder's thread.
inline constexpr int kDeliveryIntervalMs = 100;

class ThumbnailBuilder final : public QObject {
    Q_OBJECT
public:
    // threads <= 0: as many as the machine has cores.
    explicit ThumbnailBuilder(QObject* parent = nullptr, int threads = 0);
    ~ThumbnailBuilder() override;

    // Starts decoding names[i] of the host folder at a thumbnail size (cancelling a running build
    // first).
    void start(const std::string& hostFolder, std::vector<std::string> names, double pixelRatio,
               int thumbnailSize = kDefaultThumbnailSize);
    // Stops the running build: queued files are dropped and nothing more is delivered.
    void cancel();
    bool isRunning() const { return m_build != nullptr; }
    // Lets the pool's threads finish what they are on (for shutdown and tests).
    void waitForThreads() { m_pool.waitForDone(); }

signals:
    // File `index` of the build was decoded (picture is non-null); on the builder's thread. The
    // pictures of one batch come one after another, in file order, before its progress.
    void thumbnailReady(int index, const QImage& picture);
    // `done` of `total` files have been tried (decoded or skipped); once a batch.
    void progress(int done, int total);
    void finished();

private:
    struct Build;
    // Hands the pictures decoded so far to the slots, or waits for the interval to pass.
    void deliver(const std::shared_ptr<Build>& build);

    QThreadPool m_pool;
    std::shared_ptr<Build> m_build;
    QElapsedTimer m_sinceDelivery; // since the running build's last delivery; invalid before its first
};

} // namespace viewer
