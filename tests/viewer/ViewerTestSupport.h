#pragma once
// Shared pieces of the viewer's tests: one QApplication, pictures written as real image files in
// the sandbox, and waiting for a build to end.

#include "support/Sandbox.h"

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QString>

#include <string>

namespace viewer_test {

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "test_viewer";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = new QApplication(argc, argv);
    return *instance;
}

// Writes a w x h picture of one colour in the format its extension names; returns the host path.
inline std::string writePicture(const std::string& hostPath, int width, int height, QColor colour = Qt::red) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    EXPECT_TRUE(image.save(QString::fromLocal8Bit(hostPath))) << hostPath;
    return hostPath;
}

class ViewerTest : public testing_support::SandboxTest {
protected:
    ViewerTest() { app(); }
};

} // namespace viewer_test
