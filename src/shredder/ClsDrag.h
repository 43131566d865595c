#pragma once
// A drop target for files dragged from a file manager: once started on a widget, every local file
// or folder of a drop is reported by GetFileName (Windows form), one call per item, in the drop's
// order. Items that lie on none of the program's drives are left out.

#include <QObject>
#include <QPointer>

#include <string>

class QWidget;

class ClsDrag final : public QObject {
    Q_OBJECT
public:
    explicit ClsDrag(QObject* parent = nullptr);
    ~ClsDrag() override;

    // Serves drops on the widget (its viewport for a scrolling list); Stop_SubClass undoes it.
    void Start_SubClass(QWidget* window);
    void Stop_SubClass();
    bool isServing() const { return !m_target.isNull(); }

signals:
    void GetFileName(const std::string& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_window; // the served widget
    QPointer<QWidget> m_target; // where its drop events arrive
    bool m_hadAcceptDrops = false;
};
