#pragma once

#include <QString>

#include <optional>

// Everything that talks to the operator outside the main window's own widgets: message boxes,
// the beep, file dialogs, the wait cursor. The Qt implementation shows them; tests record them.
class UserInterface
{
public:
    enum class Icon { None, Information, Exclamation, Critical };

    struct FileDialogRequest
    {
        QString title;
        QString presetName;    // may carry a full path
        QString initialFolder;
        QString filterName;    // e.g. "R4150D Profiles (*.zqv)"
        QString defaultSuffix; // added when the operator types a name without one
    };

    virtual ~UserInterface() = default;

    // Modal: returns when the operator has closed the box.
    virtual void messageBox(const QString &text, const QString &title, Icon icon) = 0;
    virtual void beep() = 0;
    // The chosen file's full path, or nothing when cancelled or the dialog failed.
    virtual std::optional<QString> openFileDialog(const FileDialogRequest &request) = 0;
    virtual std::optional<QString> saveFileDialog(const FileDialogRequest &request) = 0;
    virtual void setWaitCursor(bool waiting) = 0;

    // From a termination on nobody is there to answer: a message goes to standard error
    // instead of a box, file dialogs answer "cancelled", and nothing waits for the operator.
    void setUnattended(bool unattended) { m_unattended = unattended; }
    bool isUnattended() const { return m_unattended; }

private:
    bool m_unattended = false;
};
