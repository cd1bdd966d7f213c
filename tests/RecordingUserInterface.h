#pragma once

#include "core/UserInterface.h"

#include <QList>
#include <QStringList>

#include <functional>

// A UserInterface that records instead of blocking; file dialogs answer from a script.
class RecordingUserInterface : public UserInterface
{
public:
    struct Message
    {
        QString text;
        QString title;
        Icon icon;
        bool unattended = false; // raised while nobody was there to answer
    };

    void showMessageBox(const QString &text, const QString &title, Icon icon) override;
    void beep() override;
    std::optional<QString> openFileDialog(const FileDialogRequest &request) override;
    std::optional<QString> saveFileDialog(const FileDialogRequest &request) override;
    std::optional<QString> folderDialog(const FileDialogRequest &request) override;
    void setWaitCursor(bool waiting) override;

    void clear();

    QList<Message> messages;
    int beeps = 0;
    QList<FileDialogRequest> openRequests;
    QList<FileDialogRequest> saveRequests;
    QList<bool> waitCursorChanges;
    // Answers of the next dialogs, in order; an empty list answers "cancelled".
    QList<std::optional<QString>> openAnswers;
    QList<std::optional<QString>> saveAnswers;
    QList<std::optional<QString>> folderAnswers;
    // Runs while a message box is "open", so tests can look at the window at that moment.
    std::function<void(const Message &)> onMessage;
};
