#include "core/QtUserInterface.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdio>

QtUserInterface::QtUserInterface(QWidget *parent) : m_parent(parent) {}

void QtUserInterface::showMessageBox(const QString &text, const QString &title, Icon icon)
{
    if (isUnattended()) {
        QString line = title + QStringLiteral(": ") + text;
        line.replace(QLatin1Char('\r'), QLatin1Char(' '));
        std::fprintf(stderr, "tavrel: %s\n", qPrintable(line));
        return;
    }
    QMessageBox box(m_parent);
    box.setWindowTitle(title);
    // Texts break lines with CR as the operator's messages always did; Qt breaks at LF.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.setText(shown.trimmed());
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    box.setStandardButtons(QMessageBox::Ok);
    execModal(box);
}

int QtUserInterface::execModal(QDialog &dialog)
{
    const QPointer<QWidget> previous = QApplication::activeWindow();
    const int result = dialog.exec();
    // Without a window manager nothing hands the activation back once a dialog is gone; the
    // window would then take no focus changes (a field left afterwards would not be checked)
    // and no shortcuts (Alt+F would type an "f" into the focused field).
    if (previous && previous->isVisible() && !QApplication::activeWindow())
        previous->activateWindow();
    return result;
}

void QtUserInterface::beep()
{
    if (!isUnattended())
        QApplication::beep();
}

std::optional<QString> QtUserInterface::runFileDialog(const FileDialogRequest &request, bool save)
{
    if (isUnattended())
        return std::nullopt;
    QFileDialog dialog(m_parent, request.title);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(request.filterName);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setDirectory(request.initialFolder);
    if (!request.presetName.isEmpty()) {
        // A preset with a folder shows that folder rather than the initial one.
        const QFileInfo preset(request.presetName);
        if (preset.isAbsolute() || request.presetName.contains(QLatin1Char('/')))
            dialog.setDirectory(preset.absolutePath());
        dialog.selectFile(preset.fileName());
    }
    if (execModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtUserInterface::openFileDialog(const FileDialogRequest &request)
{
    return runFileDialog(request, false);
}

std::optional<QString> QtUserInterface::saveFileDialog(const FileDialogRequest &request)
{
    return runFileDialog(request, true);
}

std::optional<QString> QtUserInterface::folderDialog(const FileDialogRequest &request)
{
    if (isUnattended())
        return std::nullopt;
    QFileDialog dialog(m_parent, request.title);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setDirectory(request.initialFolder);
    if (execModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

void QtUserInterface::setWaitCursor(bool waiting)
{
    if (waiting)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}
