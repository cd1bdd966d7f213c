#pragma once

#include <QString>

#include <functional>
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

    // Modal: returns when the operator has closed the box. The observer hears of it first.
    void messageBox(const QString &text, const QString &title, Icon icon)
    {
        if (m_messageObserver)
            m_messageObserver(text, title);
        showMessageBox(text, title, icon);
    }
    void setMessageObserver(std::function<void(const QString &text, const QString &title)> observer)
    {
        m_messageObserver = std::move(observer);
    }
    virtual void beep() = 0;
    // The chosen file's full path, or nothing when cancelled or the dialog failed.
    virtual std::optional<QString> openFileDialog(const FileDialogRequest &request) = 0;
    virtual std::optional<QString> saveFileDialog(const FileDialogRequest &request) = 0;
    // A folder (made if need be); the request's title and initial folder count.
    virtual std::optional<QString> folderDialog(const FileDialogRequest &request) = 0;
    virtual void setWaitCursor(bool waiting) = 0;

    // The save dialog for one kind of file ("CSV files (*.csv)", suffix "csv").
    std::optional<QString> askSavePath(const QString &title, const QString &presetName, const QString &filterName,
                                       const QString &defaultSuffix)
    {
        FileDialogRequest request;
        request.title = title;
        request.presetName = presetName;
        request.filterName = filterName;
        request.defaultSuffix = defaultSuffix;
        return saveFileDialog(request);
    }

    // From a termination on nobody is there to answer: a message goes to standard error
    // instead of a box, file dialogs answer "cancelled", and nothing waits for the operator.
    void setUnattended(bool unattended) { m_unattended = unattended; }
    bool isUnattended() const { return m_unattended; }

protected:
    virtual void showMessageBox(const QString &text, const QString &title, Icon icon) = 0;

private:
    bool m_unattended = false;
    std::function<void(const QString &, const QString &)> m_messageObserver;
};
