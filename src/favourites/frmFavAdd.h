#pragma once
// The window that adds one favourite: a URL and a description, stored trimmed; the favourites tab
// refills its list afterwards.

#include <QDialog>

#include <functional>

class QLineEdit;

namespace platform {
class Prompt;
}

namespace favourites {

class frmFavAdd final : public QDialog {
    Q_OBJECT

public:
    frmFavAdd(platform::Prompt& prompt, std::function<void()> refill, QWidget* parent = nullptr);

    void cmdAdd_Click();

private:
    platform::Prompt& m_prompt;
    std::function<void()> m_refill;
    QLineEdit* m_txtURL;
    QLineEdit* m_txtDescription;
};

// Shown when a favourite's enciphered line would not read back (or the store cannot be written).
inline constexpr const char* kCannotStore =
    "This favourite can't be stored as typed: change its description or URL a little and try again.";
inline constexpr const char* kStoreNotWritten =
    "The favourite could not be saved: the favourites file can't be written.";

} // namespace favourites
