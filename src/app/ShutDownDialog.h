#pragma once

#include "app/ShutDownChoices.h"

#include <QDialog>

class QCheckBox;
class QPushButton;

// The shut-down dialog: offers to switch the filament off and set the voltages to zero. Its
// boxes start from the stored choices; however it is closed, the boxes as left are stored.
class ShutDownDialog : public QDialog
{
    Q_OBJECT
public:
    static inline const QString kCancelTag = QStringLiteral("Cancel");

    explicit ShutDownDialog(QWidget *parent = nullptr);

    // "Cancel" when cancelled, empty otherwise.
    QString tag() const { return m_tag; }
    ShutDownChoices choices() const;

    void onOk();
    void onCancel();

    // Escape is Cancel.
    void reject() override;
    // Every way of closing ends here: hide, then store the boxes (the dialog's unload).
    void done(int result) override;

protected:
    // Closing through the frame counts as OK with the boxes as left.
    void closeEvent(QCloseEvent *event) override;

private:
    void load();
    void unload();

    QCheckBox *m_checkEnergy = nullptr;
    QCheckBox *m_checkFilament = nullptr;
    QPushButton *m_commandOk = nullptr;
    QPushButton *m_commandCancel = nullptr;
    QString m_tag;
};
