#pragma once

#include "device/LineEvent.h"

#include <QMutex>

// The serial link's user interface on the line's thread: a message is not shown there but kept,
// with the link's other events, for the window's thread to replay. Filled on the line's thread,
// taken on the window's.
class LineEventLog : public UserInterface
{
public:
    void append(const LineEvent &event);
    LineEvents take();

    void beep() override {}
    std::optional<QString> openFileDialog(const FileDialogRequest &) override { return std::nullopt; }
    std::optional<QString> saveFileDialog(const FileDialogRequest &) override { return std::nullopt; }
    std::optional<QString> folderDialog(const FileDialogRequest &) override { return std::nullopt; }
    void setWaitCursor(bool) override {}

protected:
    void showMessageBox(const QString &text, const QString &title, Icon icon) override;

private:
    QMutex m_mutex;
    LineEvents m_events;
};
