#include "RecordingUserInterface.h"

void RecordingUserInterface::showMessageBox(const QString &text, const QString &title, Icon icon)
{
    messages.append({text, title, icon, isUnattended()});
    if (onMessage)
        onMessage(messages.last());
}

void RecordingUserInterface::beep()
{
    ++beeps;
}

std::optional<QString> RecordingUserInterface::openFileDialog(const FileDialogRequest &request)
{
    openRequests.append(request);
    return openAnswers.isEmpty() ? std::nullopt : openAnswers.takeFirst();
}

std::optional<QString> RecordingUserInterface::folderDialog(const FileDialogRequest &request)
{
    openRequests.append(request);
    return folderAnswers.isEmpty() ? std::nullopt : folderAnswers.takeFirst();
}

std::optional<QString> RecordingUserInterface::saveFileDialog(const FileDialogRequest &request)
{
    saveRequests.append(request);
    return saveAnswers.isEmpty() ? std::nullopt : saveAnswers.takeFirst();
}

void RecordingUserInterface::setWaitCursor(bool waiting)
{
    waitCursorChanges.append(waiting);
}

void RecordingUserInterface::clear()
{
    messages.clear();
    beeps = 0;
    openRequests.clear();
    saveRequests.clear();
    waitCursorChanges.clear();
}
