#pragma once
// The Prompt shown to the user: QMessageBox boxes, QApplication event pumping, the busy cursor.

#include "platform/Prompt.h"

class QWidget;

namespace platform {

class QtPrompt final : public Prompt {
public:
    explicit QtPrompt(QWidget* parent = nullptr) : m_parent(parent) {}
    Answer show(const std::string& text, Buttons buttons, Icon icon, const std::string& title) override;
    void processEvents() override;
    void setBusy(bool on) override;
    void setParent(QWidget* parent) { m_parent = parent; }

private:
    QWidget* m_parent;
};

} // namespace platform
