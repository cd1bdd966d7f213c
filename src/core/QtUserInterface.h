#pragma once

#include "core/UserInterface.h"

#include <QPointer>

class QDialog;
class QWidget;

// The operator's side of UserInterface: real message boxes, the system beep, non-native file
// dialogs and the application's wait cursor.
class QtUserInterface : public UserInterface
{
public:
    explicit QtUserInterface(QWidget *parent = nullptr);
    void setParent(QWidget *parent) { m_parent = parent; }

    void showMessageBox(const QString &text, const QString &title, Icon icon) override;
    void beep() override;
    std::optional<QString> openFileDialog(const FileDialogRequest &request) override;
    std::optional<QString> saveFileDialog(const FileDialogRequest &request) override;
    std::optional<QString> folderDialog(const FileDialogRequest &request) override;
    void setWaitCursor(bool waiting) override;

    // Runs a modal dialog and hands the activation back to the window that had it.
    static int execModal(QDialog &dialog);

private:
    std::optional<QString> runFileDialog(const FileDialogRequest &request, bool save);

    QPointer<QWidget> m_parent;
};
