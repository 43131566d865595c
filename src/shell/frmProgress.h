#pragma once
// The small progress window a slow command shows while it works: one line of text and, when the
// total is known, a progress bar.

#include <QWidget>

#include <cstdint>
#include <string>

class QLabel;
class QProgressBar;

class frmProgress final : public QWidget {
    Q_OBJECT
public:
    explicit frmProgress(QWidget* owner = nullptr);

    void setMessage(const std::string& text);
    QString message() const;
    // Shows the bar at done / total; a total of 0 hides it again.
    void setProgress(std::uint64_t done, std::uint64_t total);
    // Shows the window centred over its owner and paints it at once.
    void showCentered();

private:
    QLabel* m_lblMessage;
    QProgressBar* m_bar;
};
